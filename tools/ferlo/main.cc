// ferlo: plays the Finder's part for the extension where there is no Finder,
// and explains what the extension does and why its menu does (not) show.
#include <array>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ferlo/command_line.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/json_output.h"

namespace {

using ferlo::cli::kExitOk;
using ferlo::cli::kExitUsage;

struct Command {
  std::string_view name;
  int (*run)(std::span<const std::string>);
  std::string_view summary;
};

constexpr std::array kCommands = {
    Command{"info", ferlo::cli::runInfoCommand, "create the principal object; print its texts, watched directory and identity"},
    Command{"menu", ferlo::cli::runMenuCommand, "print the menu the extension gives for --kind (JSON, or --tree)"},
    Command{"click", ferlo::cli::runClickCommand, "choose the menu item at PATH (e.g. 0/3) and print the hand-off"},
    Command{"send", ferlo::cli::runSendCommand, "deliver SELECTOR with a made-up sender and print the hand-off"},
    Command{"check", ferlo::cli::runCheckCommand, "decode a rule manifest or tool request strictly: check manifest|request FILE"},
    Command{"doctor", ferlo::cli::runDoctorCommand, "explain why the menu would or would not show"},
    Command{"demo", ferlo::cli::runDemoCommand, "walk through the extension on a built-in sample"},
};

void printOverview(std::FILE* stream) {
  std::fputs("Usage: ferlo COMMAND [options]\n"
             "\n"
             "Runs the Ferlo Finder extension on the stand-in platform: asks it for\n"
             "menus, delivers menu choices, and shows what it did.\n"
             "\n"
             "Commands:\n",
             stream);
  for (const Command& command : kCommands) {
    std::fprintf(stream, "  %-8.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                 static_cast<int>(command.summary.size()), command.summary.data());
  }
  std::fputs("\n'ferlo COMMAND --help' or 'ferlo help COMMAND' describes a command.\n"
             "Exit status: 0 done, 1 a negative finding (check: invalid; doctor: empty\n"
             "menu; click, send, demo: a request not written), 2 a usage error.\n",
             stream);
  std::fwrite(ferlo::cli::kOutputErrorHelp.data(), 1, ferlo::cli::kOutputErrorHelp.size(), stream);
}

const Command* findCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

constexpr const char* kHelpHelp =
    "Usage: ferlo help [COMMAND]\n"
    "\n"
    "Without COMMAND, lists the commands; with one, describes it as\n"
    "'ferlo COMMAND --help' does.\n"
    "\n"
    "Exit status: 0, or 2 for a usage error (an unknown COMMAND, more than one).\n";

int runHelp(std::span<const std::string> args) {
  auto parsed = ferlo::cli::parseCommandLine(args, {});
  if (!parsed.value) return ferlo::cli::usageError("help", parsed.error.why);
  const auto& operands = parsed.value->operands;
  if (parsed.value->help || (operands.size() == 1 && operands[0] == "help")) {
    return ferlo::cli::printHelp(kHelpHelp);
  }
  if (operands.empty()) {
    printOverview(stdout);
    return kExitOk;
  }
  if (operands.size() > 1) {
    return ferlo::cli::usageError("help", "unexpected argument " + ferlo::cli::jsonQuoted(operands[1]));
  }
  const Command* command = findCommand(operands[0]);
  if (command == nullptr) {
    std::fprintf(stderr, "ferlo help: unknown command %s\nTry 'ferlo --help'.\n",
                 ferlo::cli::jsonQuoted(operands[0]).c_str());
    return kExitUsage;
  }
  const std::array<std::string, 1> helpArg = {"--help"};
  return command->run(helpArg);
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) {
    printOverview(stderr);
    return kExitUsage;
  }
  const std::string& name = args[0];
  if (name == "--help" || name == "-h") {
    printOverview(stdout);
    return kExitOk;
  }
  if (name == "help") return runHelp(std::span<const std::string>(args).subspan(1));
  const Command* command = findCommand(name);
  if (command == nullptr) {
    std::fprintf(stderr, "ferlo: unknown command %s\nTry 'ferlo --help'.\n", ferlo::cli::jsonQuoted(name).c_str());
    return kExitUsage;
  }
  return command->run(std::span<const std::string>(args).subspan(1));
}

}  // namespace

int main(int argc, char** argv) {
  // A write beyond the file-size limit (RLIMIT_FSIZE) then fails with EFBIG,
  // which the program reports (a request not written, output lost), instead
  // of ending it by signal.
  std::signal(SIGXFSZ, SIG_IGN);
  return ferlo::cli::finishOutput(run(std::vector<std::string>(argv + 1, argv + argc)));
}
