// JsonWriter: the one JSON writer, for the exchange encoders and for the
// `ferlo` program's documents. Both byte forms are contracts (the host
// application reads the first, people and scripts the second), so they are
// written here rather than left to a library's defaults. The style says which:
//
//   exchange   no white space between tokens; in strings '"' -> \"  '/' -> \/
//              '\' -> \\ and the controls U+0000..U+001F as \b \f \n \r \t or
//              \u00XX (lower-case hex); all else (non-ASCII, DEL, U+2028 ...)
//              as is.
//   program    as exchange, but '/' as is and DEL as \u007f; with `pretty`,
//              each value in an array or object on a line of its own,
//              indented by two spaces per level, and ": " after a name.
//
// Neither ends with a line break. Integers are plain decimal; a double is
// written as jsonNumber gives it.
//
// Strings must be valid UTF-8. One that is not makes the whole text fail
// (finish() gives none) or, with replaceInvalidUtf8, is written repaired by
// the one replacement rule of base/utf8.h (one U+FFFD per maximal ill-formed
// subpart), so that the output is always one valid JSON text.
//
// The writer does not check the shape of what it is given: the caller pairs
// begin/end and puts a key before each value inside an object.
//
//   JsonWriter w;
//   w.beginObject(); w.key("days"); w.integer(7); w.endObject();
//   *w.finish() == R"({"days":7})"
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferlo {

enum class JsonStyle : unsigned char { exchange, program };

struct JsonOptions {
  JsonStyle style = JsonStyle::exchange;
  bool replaceInvalidUtf8 = false;  // else refuse it
  bool pretty = false;              // for the program's documents; the exchange is compact
};

class JsonWriter {
 public:
  explicit JsonWriter(JsonOptions options = {}) : options_(options) {}

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }

  // A member name inside an object; the member's value follows.
  void key(std::string_view name);

  void string(std::string_view value);
  void integer(std::int64_t value);
  void number(double value);
  void boolean(bool value);
  void null();

  // False once a string was refused.
  [[nodiscard]] bool ok() const { return !failed_; }

  // The text written, or none when a string was refused (never when invalid
  // UTF-8 is replaced). Leaves the writer empty.
  [[nodiscard]] std::optional<std::string> finish();

 private:
  void separate();
  void open(char bracket);
  void close(char bracket);
  void newline();
  void writeString(std::string_view value);

  JsonOptions options_;
  std::string out_;
  int depth_ = 0;          // arrays and objects open
  bool first_ = true;      // no value yet in the innermost array or object
  bool afterKey_ = false;  // the next value belongs to the key just written
  bool failed_ = false;
};

// Appends `value` as a JSON string (quotes included) in the escaping of
// `options`. Returns false, appending nothing, when `value` is not valid
// UTF-8 and options.replaceInvalidUtf8 is not set.
[[nodiscard]] bool appendJsonString(std::string& out, std::string_view value, const JsonOptions& options = {});

// A number as JSON: a whole value within ±2^53 as an integer ("16"), any
// other finite value in its shortest round-trip form ("10.5"), and null for
// infinities and NaN, which JSON cannot hold.
[[nodiscard]] std::string jsonNumber(double value);

// The shortest decimal text that reads back as the finite `value`, in fixed
// notation unless scientific is shorter: "7.5", "7", "100", "1e+300", "1e-05",
// as std::to_chars writes it (which Apple's libc++ offers for double only
// from macOS 13.3 on).
[[nodiscard]] std::string shortestDecimalText(double value);

}  // namespace ferlo
