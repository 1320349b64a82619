#include "platform/posix/png_size.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>


namespace ferlo {
namespace {

// Test vectors made with an independent encoder (Python's zlib.crc32): the
// 8-byte signature followed by a complete IHDR chunk.
const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
std::string png(const char* ihdrChunk) { return kSignature + std::string(ihdrChunk, 25); }
const std::string kRgba16 =
    png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10\x00\x00\x00\x10\x08\x06\x00\x00\x00\x1f\xf3\xff\x61");

std::string withByte(std::string bytes, std::size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

TEST(PngSize, ReadsTheHeaderOfAWellFormedPngOnly) {
  const struct {
    const char* name;
    std::string bytes;
    std::optional<std::pair<double, double>> size;
  } cases[] = {
      {"Rgba16x16", kRgba16, std::pair(16.0, 16.0)},
      {"WidestAllowed", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x7f\xff\xff\xff\x00\x00\x00\x01\x08\x06\x00\x00\x00\xa0\x36\x33\xdd"),
       std::pair(2147483647.0, 1.0)},
      {"PaletteInterlaced", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x01\x03\x00\x00\x01\xcd\xb8\xf4\x77"),
       std::pair(3.0, 5.0)},
      {"TrailingDataIgnored", kRgba16 + "\x00\x00\x00\x00IEND", std::pair(16.0, 16.0)},
      {"WidthAbove2To31", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x80\x00\x00\x00\x00\x00\x00\x01\x08\x06\x00\x00\x00\x50\xbd\x8a\xa0"),
       std::nullopt},
      {"ZeroWidth", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x00\x00\x00\x00\x10\x08\x06\x00\x00\x00\x38\x5d\x7e\x89"),
       std::nullopt},
      {"RgbWithDepth4", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x04\x02\x00\x00\x00\xca\xe3\x2c\xf4"),
       std::nullopt},
      {"InterlaceMethod2", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x08\x06\x00\x00\x02\x6e\x7f\x37\x8e"),
       std::nullopt},
      {"ColourType7", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x08\x07\x00\x00\x00\x38\xcd\x31\xc7"),
       std::nullopt},
      {"BadCrc", withByte(kRgba16, 32, '\x62'), std::nullopt},
      {"WrongSignature", withByte(kRgba16, 1, 'Q'), std::nullopt},
      {"IhdrLength14", withByte(kRgba16, 11, '\x0e'), std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<ImageSize> size = readPngSize(c.bytes);
    ASSERT_EQ(size.has_value(), c.size.has_value()) << c.name;
    if (size) {
      EXPECT_EQ(std::pair(size->width, size->height), *c.size) << c.name;
    }
  }
  for (std::size_t length = 0; length < kRgba16.size(); ++length) {
    EXPECT_FALSE(readPngSize(std::string_view(kRgba16).substr(0, length)).has_value()) << "prefix of " << length;
  }
}

}  // namespace
}  // namespace ferlo
