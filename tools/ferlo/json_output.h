// A small JSON writer for the program's output documents, the UTF-8 repair
// it relies on, and the one escaping of text for a terminal line that the
// tree, doctor and the messages share.
//
// The writer emits one document, compact by default or indented by two
// spaces. Strings are escaped as JSON requires ('"', '\', control characters
// as \b \f \n \r \t or \u00XX, DEL as \u007f) and are always valid UTF-8 on
// output: a byte sequence that is not UTF-8 becomes U+FFFD, one replacement
// per maximal invalid subpart. "/" is written as it is: these documents are
// read by people and scripts, not by the host application.
//
//   JsonWriter w(/*pretty=*/false);
//   w.beginObject(); w.key("a"); w.integer(1); w.endObject();
//   w.text() == R"({"a":1})"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferlo::cli {

// `text` with every invalid UTF-8 subpart replaced by U+FFFD; valid text is
// returned unchanged.
[[nodiscard]] std::string repairUtf8(std::string_view text);

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

// `text` as a JSON string literal, quotes included.
[[nodiscard]] std::string jsonQuoted(std::string_view text);

// A number as JSON: a whole value within ±2^53 as an integer ("16"), any
// other finite value in its shortest round-trip form ("10.5"), and null for
// infinities and NaN, which JSON cannot hold.
[[nodiscard]] std::string jsonNumber(double value);

class JsonWriter {
 public:
  explicit JsonWriter(bool pretty) : pretty_(pretty) {}

  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  // The next member's name; must be followed by exactly one value.
  void key(std::string_view name);

  void string(std::string_view value);
  void integer(std::int64_t value);
  void unsignedInteger(std::uint64_t value);
  void number(double value);
  void boolean(bool value);
  void null();

  // The document so far; complete once every begin has its end.
  [[nodiscard]] const std::string& text() const { return out_; }

 private:
  struct Level {
    bool isObject;
    bool empty = true;
  };
  void beforeValue();
  void open(char bracket, bool isObject);
  void close(char bracket);
  void newline();

  bool pretty_;
  bool afterKey_ = false;
  std::vector<Level> levels_;
  std::string out_;
};

}  // namespace ferlo::cli
