// What the scenario commands (info, menu, click, send, doctor) share: parsing
// their command line into scenario options plus their own options, and the
// help text of the scenario options.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/rule_manifest.h"
#include "tools/ferlo/command_line.h"
#include "tools/ferlo/scenario_options.h"

namespace ferlo::cli {

struct ScenarioCommandLine {
  ScenarioOptions scenario;
  std::vector<ParsedOption> own;  // the command's own options, in order
  std::vector<std::string> operands;
  bool help = false;
};

// What a command does with a --bundle whose Info.plist cannot be read:
// refuse it as a usage error (exit status 2, as `check` does with a file it
// cannot read), or go on with the reason in the scenario's bundle.error.
enum class UnreadableBundle { usageError, keep };

// Parses `args` for `command`, which knows the scenario options and
// `ownOptions`, and reads the bundle of --bundle. On a usage error prints
// the message and gives none with `*exitCode` set to 2.
[[nodiscard]] std::optional<ScenarioCommandLine> parseScenarioCommand(
    std::string_view command, std::span<const std::string> args, std::span<const OptionSyntax> ownOptions,
    int* exitCode, UnreadableBundle unreadableBundle = UnreadableBundle::usageError);

// The "Scenario options:" section of a help text, with the defaults as they
// are resolved on this machine.
[[nodiscard]] std::string scenarioOptionsHelp();

// "1 rule", "2 rules": `n` with the word for its number.
[[nodiscard]] std::string plural(std::size_t n, std::string_view one, std::string_view many);

// What a manifest holds, as check and doctor say it: "2 rules, 1 watched
// root" or "0 rules, watchedRoots absent".
[[nodiscard]] std::string manifestCounts(const RuleManifest& manifest);

// Prints `text` and then kOutputErrorHelp to stdout; gives 0.
int printHelp(std::string_view text);

}  // namespace ferlo::cli
