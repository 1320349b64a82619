// The .stringsdict reader: any bytes give a table or a diagnostic; every text
// of a table is valid UTF-8. And the guard in front of libplist keeps its
// promise: whatever it lets through, libplist builds no deeper and no larger
// a tree than the guard said.
#include <plist/plist.h>

#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "platform/stand_in/property_list.h"
#include "platform/stand_in/stringsdict_file.h"

namespace {

// Counts the values of libplist's tree (dictionary keys included) and its
// nesting of containers, going no deeper than `limit` levels.
void measure(plist_t node, std::size_t depth, std::size_t limit, std::size_t* values, std::size_t* deepest) {
  ++*values;
  const plist_type type = plist_get_node_type(node);
  if (type != PLIST_ARRAY && type != PLIST_DICT) return;
  *deepest = std::max(*deepest, depth + 1);
  if (depth + 1 > limit) return;
  const bool array = type == PLIST_ARRAY;
  void* iterator = nullptr;
  array ? plist_array_new_iter(node, &iterator) : plist_dict_new_iter(node, &iterator);
  for (plist_t item = nullptr;; item = nullptr) {
    char* key = nullptr;
    array ? plist_array_next_item(node, iterator, &item) : plist_dict_next_item(node, iterator, &key, &item);
    std::free(key);
    if (item == nullptr) return std::free(iterator);
    *values += !array;  // a dictionary's key counts as a value
    measure(item, depth + 1, limit, values, deepest);
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
  (isBinaryPropertyList(bytes) ? plist_from_bin : plist_from_xml)(bytes.data(),
                                                                  static_cast<std::uint32_t>(bytes.size()), &root);
  if (root == nullptr) return;
  std::size_t values = 0, deepest = 0;
  measure(root, 0, shape->depth + 1, &values, &deepest);
  plist_free(root);
  FERLO_FUZZ_CHECK(deepest <= shape->depth, "libplist nested deeper than the guard said");
  FERLO_FUZZ_CHECK(values <= shape->values, "libplist built more values than the guard said");
}

}  // namespace

FERLO_FUZZ_TARGET(bytes) {
  checkGuard(bytes);
  const Decoded<StringsdictTable> parsed = parseStringsdictFile(bytes);
  if (!parsed) {
    FERLO_FUZZ_CHECK(!parsed.error.why.empty(), "a failure without a reason");
    return;
  }
  for (const auto& [key, entry] : *parsed) {
    bool utf8 = isValidUtf8(key) && isValidUtf8(entry.format.value_or(""));
    for (const auto& [name, variable] : entry.variables) {
      utf8 = utf8 && isValidUtf8(name) && isValidUtf8(variable.specType) && isValidUtf8(variable.valueType);
      for (const auto& [category, text] : variable.forms) utf8 = utf8 && isValidUtf8(category) && isValidUtf8(text);
    }
    for (const std::string& problem : stringsdictEntryProblems(entry)) utf8 = utf8 && isValidUtf8(problem);
    FERLO_FUZZ_CHECK(utf8, "a key, format, variable, form or problem is not UTF-8");
  }
}
