// ferlo info: the principal object as the Finder creates it, and what the
// extension's identity resolves to in the scenario.
#include <array>

#include "exchange/shared_container.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/json_output.h"
#include "tools/ferlo/scenario.h"

namespace ferlo::cli {
namespace {

constexpr std::array kInfoOptions = {OptionSyntax{"pretty", false}};

std::string infoHelp() {
  return "Usage: ferlo info [options]\n"
         "\n"
         "Creates the principal object as the Finder would and prints, as one JSON\n"
         "document:\n"
         "  {\"toolbarItemName\": S, \"toolbarItemToolTip\": S, \"directoryURLs\": [URL…],\n"
         "   \"appGroupIdentifier\": S, \"hostBundleIdentifier\": S,\n"
         "   \"containerURL\": URL or null}\n"
         "\n"
         "  --pretty               indent the JSON\n"
         "\n" +
         scenarioOptionsHelp() +
         "\nExit status: 0 when the extension ran, 2 for a usage error.\n";
}

}  // namespace

int runInfoCommand(std::span<const std::string> args) {
  int exitCode = kExitOk;
  auto line = parseScenarioCommand("info", args, kInfoOptions, &exitCode);
  if (!line) return exitCode;
  if (line->help) return printHelp(infoHelp());
  if (!line->operands.empty()) return usageError("info", "unexpected argument " + jsonQuoted(line->operands[0]));
  bool pretty = false;
  for (const ParsedOption& option : line->own) pretty = pretty || option.name == "pretty";

  Scenario scenario(makePlatformConfig(line->scenario));
  FinderSync& finder = scenario.finderSync();
  const Identity& identity = scenario.context().identity();

  JsonWriter w(programJson(pretty));
  w.beginObject();
  w.key("toolbarItemName");
  w.string(finder.toolbarItemName());
  w.key("toolbarItemToolTip");
  w.string(finder.toolbarItemToolTip());
  w.key("directoryURLs");
  w.beginArray();
  for (const FileURL& url : scenario.platform().directoryURLs()) w.string(url.absoluteString());
  w.endArray();
  w.key("appGroupIdentifier");
  w.string(identity.appGroupIdentifier());
  w.key("hostBundleIdentifier");
  w.string(identity.hostBundleIdentifier());
  w.key("containerURL");
  if (auto container = sharedContainerURL(scenario.platform(), identity)) {
    w.string(container->absoluteString());
  } else {
    w.null();
  }
  w.endObject();
  writeLine(stdout, *w.finish());
  return kExitOk;
}

}  // namespace ferlo::cli
