// JsonWriter: the compact JSON writer behind both exchange encoders. The byte
// form is part of the contract with the host application, so it is written
// here rather than left to a library's defaults:
//
//   - no white space between tokens, no line break at the end;
//   - in strings '"' -> \"   '\' -> \\   '/' -> \/   and the control
//     characters U+0000..U+001F as \b \f \n \r \t or \u00XX (lower-case hex);
//     everything else (non-ASCII UTF-8, DEL, U+2028 ...) is written as is;
//   - integers as plain decimal.
//
// Strings must be valid UTF-8. What happens to one that is not is chosen when
// the writer is made: `refuse` makes the whole text fail (finish() gives
// none), `replace` writes U+FFFD for each byte that does not begin a valid
// sequence, so that the output is always one valid JSON text.
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

class JsonWriter {
 public:
  enum class InvalidUtf8 { refuse, replace };

  explicit JsonWriter(InvalidUtf8 policy = InvalidUtf8::refuse) : policy_(policy) {}

  void beginObject();
  void endObject();
  void beginArray();
  void endArray();

  // A member name inside an object; the member's value follows.
  void key(std::string_view name);

  void string(std::string_view value);
  void integer(std::int64_t value);
  void boolean(bool value);
  void null();

  // False once a string was refused.
  [[nodiscard]] bool ok() const { return !failed_; }

  // The text written, or none when a string was refused. Leaves the writer
  // empty.
  [[nodiscard]] std::optional<std::string> finish();

 private:
  void separate();
  void writeString(std::string_view value);

  InvalidUtf8 policy_;
  std::string out_;
  bool first_ = true;      // no value yet in the innermost array or object
  bool afterKey_ = false;  // the next value belongs to the key just written
  bool failed_ = false;
};

// Appends `value` as a JSON string (quotes included) in the escaping above.
// Returns false, appending nothing, when `value` is not valid UTF-8.
[[nodiscard]] bool appendJsonString(std::string& out, std::string_view value);

// As appendJsonString, writing U+FFFD for each byte that does not begin a
// valid UTF-8 sequence instead of refusing.
void appendJsonStringReplacingInvalid(std::string& out, std::string_view value);

// The shortest decimal text that reads back as the finite `value`, in fixed
// notation unless scientific is shorter: "7.5", "7", "100", "1e+300", "1e-05",
// as std::to_chars writes it (which Apple's libc++ offers for double only
// from macOS 13.3 on).
[[nodiscard]] std::string shortestDecimalText(double value);

}  // namespace ferlo
