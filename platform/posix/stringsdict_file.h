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

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/strings_file.h"

namespace ferlo {

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

struct StringsdictParseResult {
  std::optional<StringsdictTable> table;  // none when the file is malformed
  ResourceDiagnostic diagnostic;          // meaningful only without a table
};

// Parses the bytes of a `.stringsdict` file: a property list as
// parsePropertyList reads it (whose refusals are this file's too) with a
// dictionary at its root. Of its values, dictionaries are entries; in an
// entry, NSStringLocalizedFormatKey's text is the format and dictionaries
// are variables; in a variable, the texts of NSStringFormatSpecTypeKey and
// NSStringFormatValueTypeKey are its types and every other text a form.
// Anything else, and anything nested deeper, is skipped. A repeated key
// keeps its last value.
[[nodiscard]] StringsdictParseResult parseStringsdictFile(std::string_view bytes);

}  // namespace ferlo
