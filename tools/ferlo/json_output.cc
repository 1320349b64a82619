#include "tools/ferlo/json_output.h"

#include "base/utf8.h"

namespace ferlo::cli {
namespace {

// Code points that a terminal acts on or that reorder what follows, though
// they are valid text: the C1 controls, the line and paragraph separators,
// and the bidirectional controls (Unicode's Bidi_Control).
bool escapedCodePoint(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendLineSafe(std::string& out, std::string_view text, bool quoted) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto hex = [&](char32_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
  };
  while (!text.empty()) {
    const Utf8Sequence sequence = firstUtf8Sequence(text);
    const char32_t c = sequence.codePoint;
    if (!sequence.valid) {  // each byte of the invalid subpart
      for (std::size_t i = 0; i < sequence.size; ++i) {
        out += "\\x";
        hex(static_cast<unsigned char>(text[i]), 2);
      }
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      hex(c, 2);
    } else if (escapedCodePoint(c)) {
      out += "\\u{";
      hex(c, 4);
      out += '}';
    } else if (quoted && (c == '"' || c == '\\')) {
      out += {'\\', static_cast<char>(c)};
    } else {
      out.append(text.substr(0, sequence.size));
    }
    text.remove_prefix(sequence.size);
  }
}

}  // namespace

std::string lineSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendLineSafe(out, text, false);
  return out;
}

std::string lineQuoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  appendLineSafe(out, text, true);
  out.push_back('"');
  return out;
}

std::string jsonQuoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  (void)appendJsonString(out, text, programJson(false));  // never refuses: invalid UTF-8 is replaced
  return out;
}

}  // namespace ferlo::cli
