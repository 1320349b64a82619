// The .strings reader: any bytes give a table or a diagnostic; every key and
// text of a table is valid UTF-8; a table written back out in the plainest
// form the reader accepts reads back the same.
#include "fuzz/fuzz_support.h"
#include "platform/stand_in/strings_file.h"

namespace {

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

FERLO_FUZZ_TARGET(bytes) {
  const Decoded<StringsTable> parsed = parseStringsFile(bytes);
  if (!parsed) {
    FERLO_FUZZ_CHECK(!parsed.error.why.empty(), "a failure without a reason");
    return;
  }
  std::string written;
  for (const auto& [key, text] : *parsed) {
    FERLO_FUZZ_CHECK(isValidUtf8(key) && isValidUtf8(text), "a table entry is not UTF-8");
    written += quoted(key) + " = " + quoted(text) + ";\n";
  }
  const Decoded<StringsTable> again = parseStringsFile(written);
  FERLO_FUZZ_CHECK(again && *again == *parsed, "write -> read changed the table");
}
