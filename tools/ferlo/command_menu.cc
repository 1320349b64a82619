// ferlo menu: the menu the extension gives for a menu kind.
#include <array>
#include <cstdio>

#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/json_output.h"
#include "tools/ferlo/menu_json.h"
#include "tools/ferlo/menu_tree.h"
#include "tools/ferlo/scenario.h"

namespace ferlo::cli {
namespace {

constexpr std::array kMenuOptions = {OptionSyntax{"tree", false}, OptionSyntax{"pretty", false}};

std::string menuHelp() {
  return "Usage: ferlo menu [--tree] [options]\n"
         "\n"
         "Asks the extension for the menu of --kind and prints it as one JSON\n"
         "document:\n"
         "  MENU = {\"title\": S, \"items\": [ITEM, …]}\n"
         "  ITEM = {\"title\": S, \"enabled\": B, \"separator\": B, \"tag\": INT,\n"
         "          \"keyEquivalent\": S, \"action\": S, \"target\": \"principal\",\n"
         "          \"representedObject\": S, \"attributedTitle\": {…}, \"image\": {…},\n"
         "          \"submenu\": MENU}\n"
         "\"action\", \"target\", \"representedObject\", \"attributedTitle\", \"image\" and\n"
         "\"submenu\" are left out when the item has none.\n"
         "\n"
         "  --tree                 print an indented tree instead; each line starts\n"
         "                         with the item's path for `ferlo click`; a text\n"
         "                         that is empty, has surrounding blanks or holds\n"
         "                         what would not read as written is quoted and\n"
         "                         escaped as `ferlo doctor` escapes: \\n, \\r, \\t,\n"
         "                         \\xHH (ASCII controls, bytes not UTF-8), \\u{HHHH}\n"
         "                         (C1 controls, U+2028, U+2029, bidirectional\n"
         "                         controls), \\\" and \\\\\n"
         "  --pretty               indent the JSON\n"
         "\n" +
         scenarioOptionsHelp() +
         "\nExit status: 0 when the extension ran (an empty menu included), 2 for a\n"
         "usage error.\n";
}

}  // namespace

int runMenuCommand(std::span<const std::string> args) {
  int exitCode = kExitOk;
  auto line = parseScenarioCommand("menu", args, kMenuOptions, &exitCode);
  if (!line) return exitCode;
  if (line->help) return printHelp(menuHelp());
  if (!line->operands.empty()) return usageError("menu", "unexpected argument " + jsonQuoted(line->operands[0]));
  bool tree = false;
  bool pretty = false;
  for (const ParsedOption& option : line->own) {
    tree = tree || option.name == "tree";
    pretty = pretty || option.name == "pretty";
  }

  Scenario scenario(makePlatformConfig(line->scenario));
  const Menu menu = scenario.finderSync().menuForMenuKind(line->scenario.kind);
  if (tree) {
    writeText(stdout, menuTree(menu));
  } else {
    writeLine(stdout, menuJson(menu, pretty));
  }
  return kExitOk;
}

}  // namespace ferlo::cli
