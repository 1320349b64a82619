#include "platform/stand_in/stringsdict_file.h"

#include <utility>

#include "platform/stand_in/property_list.h"

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

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The references of `text` (the format, or with `self` a form of that
// variable) that cannot be resolved, each as a problem of `where`: without
// their closing '@'; to a variable the entry lacks; from the format, to a
// variable that is not a plural rule or has no "other" form; from a form, to
// its own variable.
void addReferenceProblems(std::string_view text, const std::string& where, const StringsdictEntry& entry,
                          std::string_view self, std::vector<std::string>& problems) {
  for (std::size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at + 1)) {
    if (text.substr(at, 2) == "%%") {
      ++at;
      continue;
    }
    const auto reference = formatVariableAt(text, at);
    if (!reference) continue;
    const std::string shown = quoted(text.substr(at, reference->length));
    const std::string name = quoted(reference->name);
    const auto variable = entry.variables.find(reference->name);
    if (!reference->terminated) {
      problems.push_back(where + " has " + shown + " without its closing '@', shown as written");
    } else if (!self.empty() && reference->name == self) {
      problems.push_back(where + " refers to its own variable: " + shown + " shows as written");
    } else if (variable == entry.variables.end()) {
      problems.push_back(where + " refers to " + shown + ", but the entry defines no variable " + name);
    } else if (self.empty() && variable->second.specType != kStringsdictPluralRuleType) {
      problems.push_back(where + " refers to variable " + name + " of type " + quoted(variable->second.specType) +
                         ", not " + quoted(kStringsdictPluralRuleType));
    } else if (self.empty() && !variable->second.forms.contains("other")) {
      problems.push_back(where + " refers to variable " + name + ", which has no \"other\" form");
    }
    at += reference->length - 1;
  }
}

}  // namespace

std::optional<FormatVariableReference> formatVariableAt(std::string_view format, std::size_t pos) {
  std::size_t i = pos + 1;
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
  if (i > pos + 1) {
    if (i >= format.size() || format[i] != '$') return std::nullopt;
    ++i;
  }
  if (format.substr(i, 2) != "#@") return std::nullopt;
  i += 2;
  const std::size_t close = format.find('@', i);
  if (close == std::string_view::npos) return FormatVariableReference{format.substr(i), format.size() - pos, false};
  return FormatVariableReference{format.substr(i, close - i), close + 1 - pos, true};
}

std::vector<std::string> stringsdictEntryProblems(const StringsdictEntry& entry) {
  std::vector<std::string> problems;
  if (!entry.format) problems.emplace_back("has no NSStringLocalizedFormatKey text");
  if (entry.format) addReferenceProblems(*entry.format, "its format", entry, "", problems);
  for (const auto& [name, variable] : entry.variables) {
    for (const auto& [category, form] : variable.forms) {
      addReferenceProblems(form, "the " + quoted(category) + " form of " + quoted(name), entry, name, problems);
    }
  }
  return problems;
}

Decoded<StringsdictTable> parseStringsdictFile(std::string_view bytes) {
  Decoded<InfoValue> list = parseDictionaryPropertyList(bytes);
  if (!list) return list.error;
  StringsdictTable table;
  for (auto& [key, value] : list->dictionary) {
    if (value.kind == InfoValue::Kind::dictionary) table.insert_or_assign(key, entryOf(value));
  }
  return table;
}

}  // namespace ferlo
