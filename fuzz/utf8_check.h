// A strict UTF-8 check for the fuzz targets' invariants, written apart from
// the readers it checks so that a shared mistake cannot hide.
#pragma once

#include <cstddef>
#include <string_view>

namespace ferlo::fuzz {

// True when `text` is well-formed UTF-8: no overlongs, no surrogates,
// nothing above U+10FFFF.
[[nodiscard]] inline bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      length = 2;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      length = 3;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      length = 4;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace ferlo::fuzz
