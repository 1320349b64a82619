// Splitting a command's arguments into options and operands.
//
// An option is "--name", and one that takes a value is given either as
// "--name value" (the next argument, whatever it looks like, so that
// "--tag -1" works) or as "--name=value". "--help" and "-h" are known to
// every command. "--" ends the options; a lone "-" is an operand. Options
// and operands may be mixed. Anything else that starts with "-" is an
// unknown option, a usage error.
//
//   parseCommandLine({"--kind", "1", "0/3", "--tree"}, syntaxes)
//     -> options [{kind, "1"}, {tree, ""}], operands ["0/3"]
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"

namespace ferlo::cli {

struct OptionSyntax {
  std::string_view name;  // without the leading "--"
  bool takesValue = false;
};

struct ParsedOption {
  std::string name;   // without the leading "--"
  std::string value;  // empty for a flag
};

struct CommandLine {
  std::vector<ParsedOption> options;  // in the order given
  std::vector<std::string> operands;
  bool help = false;
};

// The options and operands of `args`, or the usage message (the why).
[[nodiscard]] Decoded<CommandLine> parseCommandLine(std::span<const std::string> args,
                                                 std::span<const OptionSyntax> syntaxes);

// Prints "ferlo COMMAND: MESSAGE" and the hint to --help on stderr; gives
// the usage-error exit status, 2.
[[nodiscard]] int usageError(std::string_view command, std::string_view message);

// Writes `text` to `stream`, embedded NULs included; the reason of a
// failure on stdout is kept for finishOutput. Output that may be large
// (documents, trees, help) goes through it.
void writeText(std::FILE* stream, std::string_view text);

// writeText of `text` and a newline.
void writeLine(std::FILE* stream, std::string_view text);

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// Standard output or standard error could not be written (a full disk, a
// short write, a closed descriptor): the output is incomplete, so this wins
// over whatever the command would otherwise have reported.
inline constexpr int kExitOutput = 3;

// The sentence every help text ends with.
inline constexpr std::string_view kOutputErrorHelp =
    "Exit status 3, whatever else happened: standard output or standard error\n"
    "could not be written in full (e.g. a full disk).\n";

// To be called once a command is done: flushes standard output and gives
// `status`, or kExitOutput when a write to standard output or standard error
// failed at any point. A failure of standard output is also said on standard
// error ("ferlo: cannot write standard output: No space left on device").
[[nodiscard]] int finishOutput(int status);

}  // namespace ferlo::cli
