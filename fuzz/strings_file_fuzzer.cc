// The .strings reader: any bytes give a table or a diagnostic; every key and
// text of a table is valid UTF-8; a table written back out in the plainest
// form the reader accepts reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/utf8_check.h"
#include "platform/posix/strings_file.h"

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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ferlo;
  const StringsParseResult parsed = parseStringsFile(fuzz::asText(data, size));
  if (!parsed.table) {
    FERLO_FUZZ_CHECK(!parsed.diagnostic.reason.empty(), "a failure without a reason");
    return 0;
  }
  std::string written;
  for (const auto& [key, text] : *parsed.table) {
    FERLO_FUZZ_CHECK(fuzz::isValidUtf8(key) && fuzz::isValidUtf8(text), "a table entry is not UTF-8");
    written += quoted(key) + " = " + quoted(text) + ";\n";
  }
  const StringsParseResult again = parseStringsFile(written);
  FERLO_FUZZ_CHECK(again.table.has_value(), "a written table does not read back");
  FERLO_FUZZ_CHECK(*again.table == *parsed.table, "write -> read changed the table");
  return 0;
}
