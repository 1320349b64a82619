#include "platform/posix/stringsdict_file.h"

#include <utility>

#include "platform/posix/property_list.h"

namespace ferlo {
namespace {

constexpr std::string_view kFormatKey = "NSStringLocalizedFormatKey";
constexpr std::string_view kSpecTypeKey = "NSStringFormatSpecTypeKey";
constexpr std::string_view kValueTypeKey = "NSStringFormatValueTypeKey";

StringsdictVariable variableOf(InfoValue& dictionary) {
  StringsdictVariable variable;
  for (auto& [key, value] : dictionary.dictionary) {
    if (value.kind != InfoValue::Kind::text) continue;
    if (key == kSpecTypeKey) {
      variable.specType = std::move(value.text);
    } else if (key == kValueTypeKey) {
      variable.valueType = std::move(value.text);
    } else {
      variable.forms.insert_or_assign(key, std::move(value.text));
    }
  }
  return variable;
}

StringsdictEntry entryOf(InfoValue& dictionary) {
  StringsdictEntry entry;
  for (auto& [key, value] : dictionary.dictionary) {
    if (key == kFormatKey && value.kind == InfoValue::Kind::text) {
      entry.format = std::move(value.text);
    } else if (value.kind == InfoValue::Kind::dictionary) {
      entry.variables.insert_or_assign(key, variableOf(value));
    }
  }
  return entry;
}

}  // namespace

StringsdictParseResult parseStringsdictFile(std::string_view bytes) {
  StringsdictParseResult result;
  PropertyListResult list = parseDictionaryPropertyList(bytes);
  if (!list.value) {
    result.diagnostic = std::move(list.diagnostic);
    return result;
  }
  StringsdictTable table;
  for (auto& [key, value] : list.value->dictionary) {
    if (value.kind == InfoValue::Kind::dictionary) table.insert_or_assign(key, entryOf(value));
  }
  result.table = std::move(table);
  return result;
}

}  // namespace ferlo
