#include "platform/stand_in/resource_text.h"

#include <utility>

#include "platform/stand_in/utf8_append.h"

namespace ferlo {
namespace {

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Length of the well-formed UTF-8 sequence at `i`, or 0 (overlongs,
// surrogates and values above U+10FFFF are ill-formed).
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return 1;
  std::size_t length;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < length) return 0;
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  if (b1 < lo || b1 > hi) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < 0x80 || b > 0xBF) return 0;
  }
  return length;
}

Decoded<std::string> decodeUtf16(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return DecodeError{"", "UTF-16 text with an odd number of bytes"};
  std::string out;
  out.reserve(bytes.size());
  auto unitAt = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? static_cast<char32_t>((a << 8) | b) : static_cast<char32_t>((b << 8) | a);
  };
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = unitAt(i);
    if (isHighSurrogate(unit)) {
      if (i + 2 >= bytes.size() || !isLowSurrogate(unitAt(i + 2))) {
        return DecodeError{"", "UTF-16 text with an unpaired surrogate"};
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
      i += 2;
    } else if (isLowSurrogate(unit)) {
      return DecodeError{"", "UTF-16 text with an unpaired surrogate"};
    }
    appendUtf8(out, unit);
  }
  return out;
}

std::size_t resourceLineAt(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  if (offset > text.size()) offset = text.size();
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
  }
  return line;
}

}  // namespace

DecodeError resourceErrorAt(std::string_view text, std::size_t offset, std::string why) {
  return DecodeError{"line " + std::to_string(resourceLineAt(text, offset)), std::move(why)};
}

std::string describe(const DecodeError& error) {
  if (error.where.empty()) return error.why;
  return error.where + ": " + error.why;
}

Decoded<std::string> decodeResourceText(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return decodeUtf16(bytes.substr(2), false);
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF) {
    return decodeUtf16(bytes.substr(2), true);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = utf8SequenceLength(bytes, i);
    if (length == 0) return resourceErrorAt(bytes, i, "invalid UTF-8");
    i += length;
  }
  return std::string(bytes);
}

bool isWellFormedUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace ferlo
