#include "platform/posix/png_size.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace ferlo {
namespace {

std::string be32(std::uint32_t n) { return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)}; }

// The 8-byte signature and an IHDR chunk; the checksums were made with an
// independent encoder (Python's zlib.crc32).
std::string png(std::uint32_t width, std::uint32_t height, char depth, char colour, char interlace, std::uint32_t crc) {
  return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + "IHDR" + be32(width) + be32(height) + depth + colour +
         std::string(2, '\0') + interlace + be32(crc);
}
const std::string kRgba16 = png(16, 16, 8, 6, 0, 0x1ff3ff61);

std::string withByte(std::string bytes, std::size_t at, char value) { return bytes[at] = value, bytes; }

TEST(PngSize, ReadsTheHeaderOfAWellFormedPngOnly) {
  const struct { const char* name; std::string bytes; std::optional<std::pair<double, double>> size; } cases[] = {
      {"Rgba16x16", kRgba16, std::pair(16.0, 16.0)},
      {"WidestAllowed", png(0x7fffffff, 1, 8, 6, 0, 0xa03633dd), std::pair(2147483647.0, 1.0)},
      {"PaletteInterlaced", png(3, 5, 1, 3, 1, 0xcdb8f477), std::pair(3.0, 5.0)},
      {"TrailingDataIgnored", kRgba16 + "\x00\x00\x00\x00IEND", std::pair(16.0, 16.0)},
      {"WidthAbove2To31", png(0x80000000, 1, 8, 6, 0, 0x50bd8aa0), std::nullopt},
      {"ZeroWidth", png(0, 16, 8, 6, 0, 0x385d7e89), std::nullopt},
      {"RgbWithDepth4", png(3, 5, 4, 2, 0, 0xcae32cf4), std::nullopt},
      {"InterlaceMethod2", png(3, 5, 8, 6, 2, 0x6e7f378e), std::nullopt},
      {"ColourType7", png(3, 5, 8, 7, 0, 0x38cd31c7), std::nullopt},
      {"BadCrc", withByte(kRgba16, 32, '\x62'), std::nullopt},
      {"WrongSignature", withByte(kRgba16, 1, 'Q'), std::nullopt},
      {"IhdrLength14", withByte(kRgba16, 11, '\x0e'), std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<ImageSize> size = readPngSize(c.bytes);
    ASSERT_EQ(size.has_value(), c.size.has_value()) << c.name;
    if (size) EXPECT_EQ(std::pair(size->width, size->height), *c.size) << c.name;
  }
  for (std::size_t length = 0; length < kRgba16.size(); ++length) {
    EXPECT_FALSE(readPngSize(std::string_view(kRgba16).substr(0, length)).has_value()) << "prefix of " << length;
  }
}

}  // namespace
}  // namespace ferlo
