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

std::string lineSafe(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto escapeByte = [](std::string& out, unsigned char c) {
    switch (c) {
      case '\n': out += "\\n"; return;
      case '\r': out += "\\r"; return;
      case '\t': out += "\\t"; return;
      default: out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
    }
  };
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::size_t invalid = 0;
    std::size_t n = validSequenceLength(text, &invalid);
    const auto lead = static_cast<unsigned char>(text[0]);
    // C0 controls, DEL, and the C1 controls U+0080..U+009F (0xC2 0x80..0x9F),
    // which terminals act on as well.
    const bool control = lead < 0x20 || lead == 0x7F ||
                         (n == 2 && lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0);
    if (n > 0 && !control) {
      out.append(text.substr(0, n));
    } else {
      if (n == 0) n = invalid;
      for (std::size_t i = 0; i < n; ++i) escapeByte(out, static_cast<unsigned char>(text[i]));
    }
    text.remove_prefix(n);
  }
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
