#include "tools/ferlo/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/ferlo/json_output.h"

namespace ferlo::cli {
namespace {

const OptionSyntax* findSyntax(std::span<const OptionSyntax> syntaxes, std::string_view name) {
  for (const OptionSyntax& syntax : syntaxes) {
    if (syntax.name == name) return &syntax;
  }
  return nullptr;
}

}  // namespace

Decoded<CommandLine> parseCommandLine(std::span<const std::string> args, std::span<const OptionSyntax> syntaxes) {
  CommandLine line;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      line.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      line.help = true;
      continue;
    }
    if (arg[1] != '-') return DecodeError{"", "unknown option " + jsonQuoted(arg)};
    std::string_view body = std::string_view(arg).substr(2);
    std::optional<std::string> inlineValue;
    if (const auto eq = body.find('='); eq != std::string_view::npos) {
      inlineValue = std::string(body.substr(eq + 1));
      body = body.substr(0, eq);
    }
    const OptionSyntax* syntax = findSyntax(syntaxes, body);
    if (syntax == nullptr) return DecodeError{"", "unknown option " + jsonQuoted("--" + std::string(body))};
    ParsedOption option{std::string(body), {}};
    if (syntax->takesValue) {
      if (inlineValue) {
        option.value = *inlineValue;
      } else if (i + 1 < args.size()) {
        option.value = args[++i];
      } else {
        return DecodeError{"", "option --" + std::string(body) + " needs a value"};
      }
    } else if (inlineValue) {
      return DecodeError{"", "option --" + std::string(body) + " takes no value"};
    }
    line.options.push_back(std::move(option));
  }
  return line;
}

namespace {

// The reason of the first failed write to standard output. A large write
// fails inside fwrite, and the stream keeps only the fact; the flush at the
// end may then have nothing left to fail with.
int stdoutWriteError = 0;

}  // namespace

void writeText(std::FILE* stream, std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() && stream == stdout &&
      stdoutWriteError == 0) {
    stdoutWriteError = errno;
  }
}

void writeLine(std::FILE* stream, std::string_view text) {
  writeText(stream, text);
  writeText(stream, "\n");
}

int finishOutput(int status) {
  // stdio keeps the error of a failed write in the stream, so earlier losses
  // show here too; the flush may fail only now, with the reason in errno.
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int flushError = !flushed && errno != 0 ? errno : stdoutWriteError;
  if (!flushed || std::ferror(stdout)) {
    if (flushError != 0) {
      std::fprintf(stderr, "ferlo: cannot write standard output: %s\n", std::strerror(flushError));
    } else {
      std::fputs("ferlo: cannot write standard output\n", stderr);
    }
    return kExitOutput;
  }
  if (std::ferror(stderr)) return kExitOutput;
  return status;
}

int usageError(std::string_view command, std::string_view message) {
  std::fprintf(stderr, "ferlo %.*s: %.*s\nTry 'ferlo %.*s --help'.\n", static_cast<int>(command.size()),
               command.data(), static_cast<int>(message.size()), message.data(), static_cast<int>(command.size()),
               command.data());
  return kExitUsage;
}

}  // namespace ferlo::cli
