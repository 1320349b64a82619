// Reading `Localizable.stringsdict`: the plural variants of count texts, a
// property list (XML, as below, or the binary form) of this shape:
//
//   <plist version="1.0"><dict>
//     <key>finder.expiry.days %lld</key>
//     <dict>
//       <key>NSStringLocalizedFormatKey</key><string>%#@days@</string>
//       <key>days</key>
//       <dict>
//         <key>NSStringFormatSpecTypeKey</key><string>NSStringPluralRuleType</string>
//         <key>NSStringFormatValueTypeKey</key><string>lld</string>
//         <key>one</key><string>%lld day</string>
//         <key>other</key><string>%lld days</string>
//       </dict>
//     </dict>
//   </dict></plist>
//
// As with `.strings`, a malformed file yields no table at all, with a
// diagnostic saying why.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stand_in/resource_text.h"

namespace ferlo {

// The rule type of a plural variable, the only type the lookup resolves.
inline constexpr std::string_view kStringsdictPluralRuleType = "NSStringPluralRuleType";

// One `%#@name@` variable of a format: its rule type and value type and its
// texts by plural category ("zero", "one", "two", "few", "many", "other").
struct StringsdictVariable {
  std::string specType;   // NSStringFormatSpecTypeKey, e.g. "NSStringPluralRuleType"
  std::string valueType;  // NSStringFormatValueTypeKey, e.g. "lld"
  std::map<std::string, std::string, std::less<>> forms;
};

// One key of the table: the format with its variables. An entry without
// NSStringLocalizedFormatKey is kept with no `format`; the lookup decides
// what such an entry is worth.
struct StringsdictEntry {
  std::optional<std::string> format;  // NSStringLocalizedFormatKey
  std::map<std::string, StringsdictVariable, std::less<>> variables;
};

using StringsdictTable = std::map<std::string, StringsdictEntry, std::less<>>;

// Parses the bytes of a `.stringsdict` file: a property list as
// parsePropertyList reads it (whose refusals are this file's too) with a
// dictionary at its root. Of its values, dictionaries are entries; in an
// entry, NSStringLocalizedFormatKey's text is the format and dictionaries
// are variables; in a variable, the texts of NSStringFormatSpecTypeKey and
// NSStringFormatValueTypeKey are its types and every other text a form.
// Anything else, and anything nested deeper, is skipped. A repeated key
// keeps its last value.
[[nodiscard]] Decoded<StringsdictTable> parseStringsdictFile(std::string_view bytes);

// A variable reference `%#@name@` or `%N$#@name@` that starts at `pos` of
// `format` (which holds '%' there): the name, and the reference's length, or
// the name to the end and `terminated` false when its closing '@' is missing.
// None when no reference starts there.
struct FormatVariableReference {
  std::string_view name;
  std::size_t length = 0;
  bool terminated = true;
};
[[nodiscard]] std::optional<FormatVariableReference> formatVariableAt(std::string_view format, std::size_t pos);

// What keeps `entry` from giving its text, each in words for a person: no
// format; a reference without its closing '@' (it shows as written); a
// reference to a variable the entry does not define, or that is not a
// plural rule variable, or has no "other" form (the lookup passes the entry
// by); a form that refers to its own variable (it shows as written). Empty
// for a sound entry.
[[nodiscard]] std::vector<std::string> stringsdictEntryProblems(const StringsdictEntry& entry);

}  // namespace ferlo
