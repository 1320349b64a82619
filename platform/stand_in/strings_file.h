// Reading `.strings` localisation tables: `"key" = "value";` pairs with
// comments, as Xcode and translators write them, or the same table as a
// property list (a dictionary of texts) in the XML or the binary form, as
// Xcode may store it in a built bundle.
//
// A table is all or nothing: one malformed byte anywhere and the platform
// ignores the whole file, so we do too. The failure is still a value with a
// line number and a reason, so that `ferlo doctor` can say what is wrong.
//
//   auto parsed = parseStringsFile("\"finder.section.rules\" = \"Rules\";");
//   parsed->at("finder.section.rules");  // "Rules"; else describe(parsed.error)
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/stand_in/resource_text.h"

namespace ferlo {

// Key -> text, both UTF-8. Transparent, so string_view keys look up directly.
using StringsTable = std::map<std::string, std::string, std::less<>>;

// Parses the bytes of a `.strings` file. Bytes that begin "bplist", or text
// whose first character after blanks is "<", are a property list (see
// parsePropertyList) whose root must be a dictionary of texts. Otherwise the
// text form, in any encoding `decodeResourceText` accepts. Accepted, per entry: a key and a value, each either a quoted
// string or a bare token of letters, digits and `_$+/:.-`, joined by `=` and
// ended by `;`; a lone `"key";` means the key is its own text. The whole
// content may sit inside one `{ ... }`. Between entries: whitespace,
// `/* */` and `//` comments. Quoted strings take the escapes \" \' \\ \a \b
// \f \n \r \t \v, octal \ooo up to \177, and \Uxxxx or \uxxxx (1-4 hex
// digits, surrogate pairs combined); any other escaped character stands for
// itself. A repeated key keeps its last text. Runs in linear time and
// constant stack.
[[nodiscard]] Decoded<StringsTable> parseStringsFile(std::string_view bytes);

}  // namespace ferlo
