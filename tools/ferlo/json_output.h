// The program's JSON documents (the one JsonWriter, in the program's style)
// and the one escaping of text for a terminal line that the tree, doctor and
// the messages share.
//
// The documents are compact or indented by two spaces; their strings escape
// DEL as \u007f and keep "/" as it is (they are read by people and scripts,
// not by the host application), and are always valid UTF-8: invalid input is
// repaired by base/utf8.h's one rule.
//
//   JsonWriter w(programJson(/*pretty=*/false));
//   w.beginObject(); w.key("a"); w.integer(1); w.endObject();
//   *w.finish() == R"({"a":1})"
#pragma once

#include <string>
#include <string_view>

#include "exchange/json_writer.h"

namespace ferlo::cli {

// The options of the program's documents, indented when `pretty`.
[[nodiscard]] constexpr JsonOptions programJson(bool pretty) {
  return JsonOptions{.style = JsonStyle::program, .replaceInvalidUtf8 = true, .pretty = pretty};
}

// `text` made safe to print as (part of) one line on a terminal, reading as
// written: line feed, carriage return and tab as \n, \r, \t; the other
// ASCII controls (C0, DEL) and each byte of an invalid UTF-8 subpart as
// \xHH; the C1 controls (U+0080..U+009F), the line and paragraph separators
// (U+2028, U+2029) and the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A..U+202E, U+2066..U+2069) as \u{HHHH}, four upper-case hex digits.
// All else, backslashes included, is kept.
//   lineSafe("/a\nb\xFF\x1B\u202E") == "/a\\nb\\xFF\\x1B\\u{202E}"
[[nodiscard]] std::string lineSafe(std::string_view text);

// `text` in double quotes, escaped as lineSafe does, and '"' and '\' as \"
// and \\ so that the quotes delimit it.
//   lineQuoted("a\"\x7F") == "\"a\\\"\\x7F\""
[[nodiscard]] std::string lineQuoted(std::string_view text);

// `text` as a JSON string literal of the program's documents, quotes included.
[[nodiscard]] std::string jsonQuoted(std::string_view text);

}  // namespace ferlo::cli
