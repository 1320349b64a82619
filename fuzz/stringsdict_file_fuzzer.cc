// The .stringsdict reader: any bytes give a table or a diagnostic, in bounded
// stack (deep nesting is refused, not recursed into); every text of a table
// is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/utf8_check.h"
#include "platform/posix/stringsdict_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ferlo;
  const StringsdictParseResult parsed = parseStringsdictFile(fuzz::asText(data, size));
  if (!parsed.table) {
    FERLO_FUZZ_CHECK(!parsed.diagnostic.reason.empty(), "a failure without a reason");
    return 0;
  }
  for (const auto& [key, entry] : *parsed.table) {
    FERLO_FUZZ_CHECK(fuzz::isValidUtf8(key), "a key is not UTF-8");
    FERLO_FUZZ_CHECK(!entry.format || fuzz::isValidUtf8(*entry.format), "a format is not UTF-8");
    for (const auto& [name, variable] : entry.variables) {
      FERLO_FUZZ_CHECK(fuzz::isValidUtf8(name) && fuzz::isValidUtf8(variable.specType) &&
                           fuzz::isValidUtf8(variable.valueType),
                       "a variable is not UTF-8");
      for (const auto& [category, text] : variable.forms) {
        FERLO_FUZZ_CHECK(fuzz::isValidUtf8(category) && fuzz::isValidUtf8(text), "a form is not UTF-8");
      }
    }
  }
  return 0;
}
