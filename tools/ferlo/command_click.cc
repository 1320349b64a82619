// ferlo click and ferlo send: delivering a menu command to the principal
// object, with a real menu item or a made-up sender, and reporting the
// hand-off it made.
#include <array>

#include "extension/command_table.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/finder_copy.h"
#include "tools/ferlo/json_output.h"
#include "tools/ferlo/menu_path.h"
#include "tools/ferlo/scenario.h"

namespace ferlo::cli {
namespace {

constexpr std::array kClickOptions = {OptionSyntax{"pretty", false}, OptionSyntax{"original-sender", false}};
constexpr std::array kSendOptions = {OptionSyntax{"object-string", true}, OptionSyntax{"object-number", true},
                                   OptionSyntax{"tag", true}, OptionSyntax{"title", true},
                                   OptionSyntax{"pretty", false}};

constexpr const char* kHandoffOutput =
    "Prints one JSON document: {\"handoff\": {\"url\": URL, \"activates\": true}} for\n"
    "the hand-off the command made, or {\"handoff\": null} when it made none (the\n"
    "command stopped at its guard). The request file, if any, is in the shared\n"
    "container as tool-request.json. When the request could not be written, the\n"
    "extension hands off all the same and says nothing; ferlo then says on\n"
    "stderr \"the request was not written: \" and why (the OS's reason, or no\n"
    "shared container), and exits 1: the file may still hold an earlier request.\n";

std::string clickHelp() {
  return std::string("Usage: ferlo click PATH [options]\n"
                     "\n"
                     "Builds the menu of --kind, takes the item at PATH (zero-based indices\n"
                     "joined by \"/\", e.g. 0/3 or 0/6/4; `ferlo menu --tree` shows them) and\n"
                     "delivers its action to the principal object as the Finder does: with a\n"
                     "copy of the item that keeps only its title, action, image, enabled state\n"
                     "and tag (no represented object, no styled title).\n") +
         kHandoffOutput +
         "\n"
         "  --original-sender      send the menu's own item instead of the Finder's copy\n"
         "  --pretty               indent the JSON\n"
         "\n" +
         scenarioOptionsHelp() +
         "\nExit status: 0 when the extension ran (also when the command stopped at\n"
         "its guard), 1 when it handed off but its request was not written, 2 for a\n"
         "usage error: PATH naming no item, a separator or an item without an\n"
         "action.\n";
}

// The commands' names as the table lists them: "runRule:, runFlatten:,
// runMergeSelected: or setExpiry:".
std::string selectorList() {
  std::string list;
  for (std::size_t i = 0; i < kMenuCommands.size(); ++i) {
    if (i > 0) list += i + 1 == kMenuCommands.size() ? " or " : ", ";
    list += kMenuCommands[i].name;
  }
  return list;
}

std::string sendHelp() {
  return std::string("Usage: ferlo send SELECTOR [--object-string S | --object-number N] [--tag N] [--title T]\n"
                     "                  [options]\n"
                     "\n"
                     "Delivers SELECTOR (") +
         selectorList() +
         ")\n"
         "to the principal object with a made-up sender.\n" +
         kHandoffOutput +
         "\n"
         "  --object-string S      the sender's represented object is the string S\n"
         "  --object-number N      the sender's represented object is a number (not a\n"
         "                         string); N is a 64-bit integer\n"
         "                         (without either: no represented object; the last\n"
         "                         one given counts)\n"
         "  --tag N                the sender's tag, a 64-bit integer; default 0\n"
         "  --title T              the sender's title; default none (a sender without\n"
         "                         a title names no rule by its tag)\n"
         "  --pretty               indent the JSON\n"
         "\n" +
         scenarioOptionsHelp() +
         "\nExit status: 0 when the extension ran, 1 when it handed off but its\n"
         "request was not written, 2 for a usage error.\n";
}

int deliver(const ScenarioOptions& options, bool pretty, const std::function<void(Scenario&)>& command) {
  Scenario scenario(makePlatformConfig(options));
  command(scenario);
  printHandoff(scenario.lastHandoff(), pretty);
  return reportRequestNotWritten(scenario, "send");
}

}  // namespace

int runClickCommand(std::span<const std::string> args) {
  int exitCode = kExitOk;
  auto line = parseScenarioCommand("click", args, kClickOptions, &exitCode);
  if (!line) return exitCode;
  if (line->help) return printHelp(clickHelp());
  if (line->operands.size() != 1) {
    return usageError("click", line->operands.empty() ? "missing PATH"
                                                      : "unexpected argument " + jsonQuoted(line->operands[1]));
  }
  bool pretty = false;
  bool originalSender = false;
  for (const ParsedOption& option : line->own) {
    pretty = pretty || option.name == "pretty";
    originalSender = originalSender || option.name == "original-sender";
  }
  const auto path = parseMenuPath(line->operands[0]);
  if (!path) {
    return usageError("click", "PATH wants zero-based indices joined by \"/\", e.g. 0/3; got " +
                                   jsonQuoted(line->operands[0]));
  }

  Scenario scenario(makePlatformConfig(line->scenario));
  const Menu menu = scenario.finderSync().menuForMenuKind(line->scenario.kind);
  const Decoded<const MenuItem*> found = findActionItem(menu, *path);
  if (!found) return usageError("click", found.error.why);
  const MenuItem& item = **found;
  const Sender sender = senderOf(originalSender ? item : finderCopyOf(item));
  scenario.markCommandStart();
  scenario.finderSync().perform(item.action, sender);
  printHandoff(scenario.lastHandoff(), pretty);
  return reportRequestNotWritten(scenario, "click");
}

int runSendCommand(std::span<const std::string> args) {
  int exitCode = kExitOk;
  auto line = parseScenarioCommand("send", args, kSendOptions, &exitCode);
  if (!line) return exitCode;
  if (line->help) return printHelp(sendHelp());
  if (line->operands.size() != 1) {
    return usageError("send", line->operands.empty() ? "missing SELECTOR"
                                                     : "unexpected argument " + jsonQuoted(line->operands[1]));
  }
  const auto selector = selectorForName(line->operands[0]);
  if (!selector || *selector == Selector::none) {
    return usageError("send", "SELECTOR must be " + selectorList() + "; got " + jsonQuoted(line->operands[0]));
  }
  Sender sender;
  bool pretty = false;
  for (const ParsedOption& option : line->own) {
    if (option.name == "object-string") {
      sender.objectKind = Sender::ObjectKind::string;
      sender.objectString = option.value;
    } else if (option.name == "object-number") {
      if (!parseInt64(option.value)) {
        return usageError("send", "--object-number wants a 64-bit integer, got " + jsonQuoted(option.value));
      }
      sender.objectKind = Sender::ObjectKind::other;
      sender.objectString.clear();
    } else if (option.name == "tag") {
      const auto tag = parseInt64(option.value);
      if (!tag) return usageError("send", "--tag wants a 64-bit integer, got " + jsonQuoted(option.value));
      sender.tag = *tag;
    } else if (option.name == "title") {
      sender.title = option.value;
    } else if (option.name == "pretty") {
      pretty = true;
    }
  }
  return deliver(line->scenario, pretty, [&](Scenario& scenario) {
    scenario.markCommandStart();
    scenario.finderSync().perform(*selector, sender);
  });
}

}  // namespace ferlo::cli
