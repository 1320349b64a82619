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
//   parsed.table->at("finder.section.rules");  // "Rules"
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ferlo {

// Key -> text, both UTF-8. Transparent, so string_view keys look up directly.
using StringsTable = std::map<std::string, std::string, std::less<>>;

// Where and why a resource file was refused. `line` counts from 1; 0 means
// the file as a whole (an undecodable encoding, for example).
struct ResourceDiagnostic {
  std::size_t line = 0;
  std::string reason;
};

// The line (from 1) of byte offset `offset` in `text`; "\n", "\r\n" and a
// lone "\r" each end a line.
[[nodiscard]] std::size_t resourceLineAt(std::string_view text, std::size_t offset);

// Renders a diagnostic as "line 3: missing ';' after value" (or the bare
// reason for line 0).
[[nodiscard]] std::string describe(const ResourceDiagnostic& diagnostic);

struct StringsParseResult {
  std::optional<StringsTable> table;  // none when the file is malformed
  ResourceDiagnostic diagnostic;      // meaningful only without a table
};

// Decodes a resource text file to UTF-8: a UTF-16 byte order mark (FF FE or
// FE FF) selects UTF-16 little or big endian, a UTF-8 mark is dropped, and
// anything else must be valid UTF-8. Gives none, and the reason in `whyNot`,
// for an odd UTF-16 length, unpaired surrogates or invalid UTF-8.
[[nodiscard]] std::optional<std::string> decodeResourceText(std::string_view bytes,
                                                            ResourceDiagnostic* whyNot = nullptr);

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
[[nodiscard]] StringsParseResult parseStringsFile(std::string_view bytes);

}  // namespace ferlo
