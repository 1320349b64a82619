// The .stringsdict reader: any bytes give a table or a diagnostic; every text
// of a table is valid UTF-8. And the guard in front of libplist keeps its
// promise: whatever it lets through, libplist builds no deeper and no larger
// a tree than the guard said.
#include <plist/plist.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/utf8_check.h"
#include "platform/posix/property_list.h"
#include "platform/posix/stringsdict_file.h"

namespace {

// Counts the values of libplist's tree (dictionary keys included) and its
// nesting of containers, going no deeper than `limit` levels.
void measure(plist_t node, std::size_t depth, std::size_t limit, std::size_t* values, std::size_t* deepest) {
  ++*values;
  const plist_type type = plist_get_node_type(node);
  if (type != PLIST_ARRAY && type != PLIST_DICT) return;
  *deepest = std::max(*deepest, depth + 1);
  if (depth + 1 > limit) return;
  if (type == PLIST_ARRAY) {
    plist_array_iter iterator = nullptr;
    plist_array_new_iter(node, &iterator);
    for (plist_t item = nullptr;;) {
      plist_array_next_item(node, iterator, &item);
      if (item == nullptr) break;
      measure(item, depth + 1, limit, values, deepest);
    }
    std::free(iterator);
  } else {
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    for (;;) {
      char* key = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(node, iterator, &key, &item);
      std::free(key);
      if (item == nullptr) break;
      ++*values;
      measure(item, depth + 1, limit, values, deepest);
    }
    std::free(iterator);
  }
}

void checkGuard(std::string_view bytes) {
  using namespace ferlo;
  std::string text;
  if (!isBinaryPropertyList(bytes)) {
    if (bytes.size() > kMaxPropertyListBytes) return;
    auto decoded = decodeResourceText(bytes);
    if (!decoded) return;
    text = std::move(*decoded);
    bytes = text;
  }
  const auto shape = checkPropertyListShape(bytes);
  if (!shape) return;
  plist_t root = nullptr;
  if (isBinaryPropertyList(bytes)) {
    plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  } else {
    plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  }
  if (root == nullptr) return;
  std::size_t values = 0, deepest = 0;
  measure(root, 0, shape->depth + 1, &values, &deepest);
  plist_free(root);
  FERLO_FUZZ_CHECK(deepest <= shape->depth, "libplist nested deeper than the guard said");
  FERLO_FUZZ_CHECK(values <= shape->values, "libplist built more values than the guard said");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ferlo;
  checkGuard(fuzz::asText(data, size));
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
