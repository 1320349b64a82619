#include "platform/stand_in/resource_text.h"

#include <utility>

#include "base/utf8.h"

namespace ferlo {
namespace {

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

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
  if (const std::size_t valid = validUtf8Prefix(bytes); valid < bytes.size()) {
    return resourceErrorAt(bytes, valid, "invalid UTF-8");
  }
  return std::string(bytes);
}

}  // namespace ferlo
