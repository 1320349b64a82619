#include "tools/ferlo/json_output.h"

#include <array>
#include <charconv>
#include <cmath>

#include "exchange/json_writer.h"

namespace ferlo::cli {
namespace {

// The length of the valid UTF-8 sequence at the start of `s`, or 0 when it
// does not start with one. `*invalidLength` then says how many bytes form the
// maximal invalid subpart (at least 1), so that each is replaced once.
std::size_t validSequenceLength(std::string_view s, std::size_t* invalidLength) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  *invalidLength = 1;
  if (lead < 0x80) return 1;
  std::size_t need;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < need; ++i) {
    if (i >= s.size()) {
      *invalidLength = i;
      return 0;
    }
    const unsigned char c = byte(i);
    const unsigned char lo = i == 1 ? low : 0x80;
    const unsigned char hi = i == 1 ? high : 0xBF;
    if (c < lo || c > hi) {
      *invalidLength = i;
      return 0;
    }
  }
  return need;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::size_t invalid = 0;
    const std::size_t n = validSequenceLength(text, &invalid);
    if (n > 0) {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
    } else {
      out.append(kReplacement);
      text.remove_prefix(invalid);
    }
  }
  return out;
}

namespace {

// Code points that a terminal acts on or that reorder what follows, though
// they are valid text: the C1 controls, the line and paragraph separators,
// and the bidirectional controls (Unicode's Bidi_Control).
bool escapedCodePoint(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

char32_t codePoint(std::string_view sequence) {
  const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(sequence[i])); };
  switch (sequence.size()) {
    case 1: return byte(0);
    case 2: return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3: return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default: return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
  }
}

void appendLineSafe(std::string& out, std::string_view text, bool quoted) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto hex = [&](char32_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
  };
  while (!text.empty()) {
    std::size_t invalid = 0;
    const std::size_t n = validSequenceLength(text, &invalid);
    if (n == 0) {  // each byte of the invalid subpart
      for (std::size_t i = 0; i < invalid; ++i) {
        out += "\\x";
        hex(static_cast<unsigned char>(text[i]), 2);
      }
      text.remove_prefix(invalid);
      continue;
    }
    const char32_t c = codePoint(text.substr(0, n));
    if (c == '\n') {
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
      out.append(text.substr(0, n));
    }
    text.remove_prefix(n);
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
  static constexpr char kHex[] = "0123456789abcdef";
  const std::string valid = repairUtf8(text);
  std::string out;
  out.reserve(valid.size() + 2);
  out.push_back('"');
  for (const char ch : valid) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  std::array<char, 64> buffer{};
  if (value == std::trunc(value) && std::fabs(value) <= 9007199254740992.0) {
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), static_cast<std::int64_t>(value));
    return std::string(buffer.data(), end);
  }
  return shortestDecimalText(value);
}

void JsonWriter::newline() {
  out_.push_back('\n');
  out_.append(levels_.size() * 2, ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_.push_back(',');
  level.empty = false;
  if (pretty_) newline();
}

void JsonWriter::open(char bracket, bool isObject) {
  beforeValue();
  out_.push_back(bracket);
  levels_.push_back(Level{isObject});
}

void JsonWriter::close(char bracket) {
  const bool wasEmpty = levels_.back().empty;
  levels_.pop_back();
  if (pretty_ && !wasEmpty) newline();
  out_.push_back(bracket);
}

void JsonWriter::beginObject() { open('{', true); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray() { open('[', false); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(std::string_view name) {
  beforeValue();
  out_ += jsonQuoted(name);
  out_ += pretty_ ? ": " : ":";
  afterKey_ = true;
}

void JsonWriter::string(std::string_view value) {
  beforeValue();
  out_ += jsonQuoted(value);
}

void JsonWriter::integer(std::int64_t value) {
  beforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::unsignedInteger(std::uint64_t value) {
  beforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::number(double value) {
  beforeValue();
  out_ += jsonNumber(value);
}

void JsonWriter::boolean(bool value) {
  beforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::null() {
  beforeValue();
  out_ += "null";
}

}  // namespace ferlo::cli
