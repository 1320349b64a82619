// ferlo check: strict decoding of a rule manifest or a tool request, with
// the decoder's first finding in words a host developer can act on.
#include <sys/stat.h>

#include <cstdio>
#include <new>
#include <string>

#include "exchange/rule_manifest.h"
#include "exchange/tool_request.h"
#include "platform/files/file_io.h"
#include "tools/ferlo/command_line.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/file_read.h"
#include "tools/ferlo/json_output.h"

namespace ferlo::cli {
namespace {

constexpr const char* kCheckHelp =
    "Usage: ferlo check manifest FILE\n"
    "       ferlo check request FILE\n"
    "\n"
    "Decodes FILE strictly, as the extension reads rules.json (manifest) or as\n"
    "the host application reads tool-request.json (request). FILE - reads\n"
    "standard input (a pipe too) and is shown as -.\n"
    "\n"
    "Valid: exit 0 and one line on stdout, e.g.\n"
    "  rules.json: valid rule manifest: 2 rules, 2 watched roots\n"
    "  tool-request.json: valid tool request: runRule, 1 folder, ruleID \"0F8E…\"\n"
    "Invalid: exit 1 and one line on stderr, FILE: WHERE: WHY, e.g.\n"
    "  rules.json: rules[2].id: not in UUID text form\n"
    "WHERE is the member the decoder stopped at, or (document) when the\n"
    "document as a whole is at fault (not JSON, top level not an object).\n"
    "FILE cannot be read (missing, a directory, a FIFO, no permission), holds\n"
    "more than 256 MiB (268435456 bytes; standard input is read no further), or\n"
    "memory runs out while reading or decoding it: exit 2.\n";

std::string manifestSummary(const RuleManifest& manifest) {
  return "valid rule manifest: " + manifestCounts(manifest);
}

std::string requestSummary(const ToolRequest& request) {
  std::string text = "valid tool request: " + std::string(actionText(request.action)) + ", " +
                     plural(request.folders.size(), "folder", "folders");
  if (request.ruleID) text += ", ruleID " + jsonQuoted(*request.ruleID);
  if (request.files) text += ", " + plural(request.files->size(), "file", "files");
  if (request.days) text += ", days " + std::to_string(*request.days);
  return text;
}

template <class T>
int report(const std::string& file, const Decoded<T>& decoded, std::string (*summary)(const T&)) {
  // The parser's lack of memory says nothing about the document.
  if (!decoded && decoded.error.why.starts_with("out of memory")) {
    writeLine(stderr, "ferlo check: cannot check " + file + ": " + decoded.error.why);
    return kExitUsage;
  }
  if (!decoded) {
    const std::string& where = decoded.error.where.empty() ? std::string("(document)") : decoded.error.where;
    writeLine(stderr, file + ": " + where + ": " + decoded.error.why);
    return kExitFailure;
  }
  writeLine(stdout, file + ": " + summary(*decoded.value));
  return kExitOk;
}

// Reads and decodes FILE; gives the exit status.
int check(const std::string& kind, const std::string& file) {
  const Decoded<std::string> read = file == "-" ? readStandardInput() : readRegularFile(file, kMaxReadBytes);
  if (!read) {
    // A pipe given by name (/dev/stdin, <(…)) is refused like any FIFO, so
    // that a named FIFO cannot hang the check; "-" is the way to read one.
    struct stat info {};
    const bool fifo = file != "-" && ::stat(file.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    writeLine(stderr, "ferlo check: cannot read " + file + ": " + read.error.why +
                          (fifo ? " (give - as FILE to read standard input)" : ""));
    return kExitUsage;
  }
  if (kind == "manifest") return report(file, decodeRuleManifest(*read), &manifestSummary);
  return report(file, decodeToolRequest(*read), &requestSummary);
}

}  // namespace

int runCheckCommand(std::span<const std::string> args) {
  auto parsed = parseCommandLine(args, {});
  if (!parsed.value) return usageError("check", parsed.error.why);
  if (parsed.value->help) return printHelp(kCheckHelp);
  const auto& operands = parsed.value->operands;
  if (operands.empty()) return usageError("check", "missing what to check: manifest or request");
  const std::string& kind = operands[0];
  if (kind != "manifest" && kind != "request") {
    return usageError("check", "what to check must be manifest or request, got " + jsonQuoted(kind));
  }
  if (operands.size() < 2) return usageError("check", "missing FILE");
  if (operands.size() > 2) return usageError("check", "unexpected argument " + jsonQuoted(operands[2]));
  const std::string& file = operands[1];

  try {
    return check(kind, file);
  } catch (const std::bad_alloc&) {
    writeLine(stderr, "ferlo check: cannot check " + file + ": out of memory");
    return kExitUsage;
  }
}

}  // namespace ferlo::cli
