#include "base/utf8.h"

#include <simdjson.h>

namespace ferlo {

bool isValidUtf8(std::string_view text) { return simdjson::validate_utf8(text.data(), text.size()); }

Utf8Sequence firstUtf8Sequence(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {1, true, lead};
  std::size_t need;
  char32_t cp;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3, cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4, cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {1, false, 0};
  }
  for (std::size_t i = 1; i < need; ++i) {
    // The subpart ends before the first byte that cannot continue it.
    if (i >= text.size() || byte(i) < (i == 1 ? low : 0x80) || byte(i) > (i == 1 ? high : 0xBF)) return {i, false, 0};
    cp = cp << 6 | (byte(i) & 0x3F);
  }
  return {need, true, cp};
}

std::size_t validUtf8Prefix(std::string_view text) {
  if (isValidUtf8(text)) return text.size();
  std::size_t i = 0;
  while (i < text.size()) {
    const Utf8Sequence s = firstUtf8Sequence(text.substr(i));
    if (!s.valid) break;
    i += s.size;
  }
  return i;
}

std::string repairUtf8(std::string_view text) {
  if (isValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  while (!text.empty()) {
    const Utf8Sequence s = firstUtf8Sequence(text);
    out.append(s.valid ? text.substr(0, s.size) : "\xEF\xBF\xBD");
    text.remove_prefix(s.size);
  }
  return out;
}

}  // namespace ferlo
