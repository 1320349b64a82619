#include "platform/posix/png_size.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace ferlo {
namespace {

// Test vectors made with an independent encoder (Python's zlib.crc32): the
// 8-byte signature followed by a complete IHDR chunk.
const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
std::string png(const char* ihdrChunk) { return kSignature + std::string(ihdrChunk, 25); }

struct PngCase {
  const char* name;
  std::string bytes;
  std::optional<std::pair<double, double>> size;
};

std::ostream& operator<<(std::ostream& out, const PngCase& c) { return out << c.name; }

class PngSizeTest : public testing::TestWithParam<PngCase> {};

TEST_P(PngSizeTest, ReadsHeader) {
  const PngCase& c = GetParam();
  const std::optional<ImageSize> size = readPngSize(c.bytes);
  ASSERT_EQ(size.has_value(), c.size.has_value());
  if (size) {
    EXPECT_EQ(size->width, c.size->first);
    EXPECT_EQ(size->height, c.size->second);
  }
}

const char* const kRgba16 = "\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10\x00\x00\x00\x10\x08\x06\x00\x00\x00\x1f\xf3\xff\x61";

std::string withByte(std::string bytes, std::size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PngSizeTest,
    testing::Values(
        PngCase{"Rgba16x16", png(kRgba16), std::make_pair(16.0, 16.0)},
        PngCase{"Gray1x1", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x00\x00\x00\x00\x3a\x7e\x9b\x55"),
                std::make_pair(1.0, 1.0)},
        PngCase{"WidestAllowed", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x7f\xff\xff\xff\x00\x00\x00\x01\x08\x06\x00\x00\x00\xa0\x36\x33\xdd"),
                std::make_pair(2147483647.0, 1.0)},
        PngCase{"PaletteInterlaced", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x01\x03\x00\x00\x01\xcd\xb8\xf4\x77"),
                std::make_pair(3.0, 5.0)},
        PngCase{"TrailingDataIgnored", png(kRgba16) + "\x00\x00\x00\x00IEND", std::make_pair(16.0, 16.0)},
        PngCase{"WidthAbove2To31", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x80\x00\x00\x00\x00\x00\x00\x01\x08\x06\x00\x00\x00\x50\xbd\x8a\xa0"),
                std::nullopt},
        PngCase{"ZeroWidth", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x00\x00\x00\x00\x10\x08\x06\x00\x00\x00\x38\x5d\x7e\x89"),
                std::nullopt},
        PngCase{"RgbWithDepth4", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x04\x02\x00\x00\x00\xca\xe3\x2c\xf4"),
                std::nullopt},
        PngCase{"InterlaceMethod2", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x08\x06\x00\x00\x02\x6e\x7f\x37\x8e"),
                std::nullopt},
        PngCase{"ColourType7", png("\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00\x05\x08\x07\x00\x00\x00\x38\xcd\x31\xc7"),
                std::nullopt},
        PngCase{"BadCrc", withByte(png(kRgba16), 32, '\x62'), std::nullopt},
        PngCase{"WidthChangedAfterCrc", withByte(png(kRgba16), 19, '\x11'), std::nullopt},
        PngCase{"WrongSignature", withByte(png(kRgba16), 1, 'Q'), std::nullopt},
        PngCase{"IhdrLength14", withByte(png(kRgba16), 11, '\x0e'), std::nullopt},
        PngCase{"Empty", std::string(), std::nullopt},
        PngCase{"SignatureOnly", kSignature, std::nullopt}),
    [](const testing::TestParamInfo<PngCase>& info) { return std::string(info.param.name); });

TEST(PngSizeTruncation, EveryPrefixOfAHeaderIsRefused) {
  const std::string whole = png(kRgba16);
  ASSERT_TRUE(readPngSize(whole).has_value());
  for (std::size_t length = 0; length < whole.size(); ++length) {
    EXPECT_FALSE(readPngSize(std::string_view(whole).substr(0, length)).has_value()) << "length " << length;
  }
}

// The shipped glyph is the image the menu shows; its 1x and 2x versions
// must describe the same 16-point square.
TEST(PngSizeShipped, BrandGlyphResources) {
  const std::filesystem::path resources = std::filesystem::path(__FILE__).parent_path() / "../../resources";
  for (const auto& [name, pixels] : {std::pair{"BrandGlyph.png", 16.0}, std::pair{"BrandGlyph@2x.png", 32.0}}) {
    std::ifstream in(resources / name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::optional<ImageSize> size = readPngSize(bytes);
    ASSERT_TRUE(size.has_value()) << name;
    EXPECT_EQ(size->width, pixels) << name;
    EXPECT_EQ(size->height, pixels) << name;
    EXPECT_EQ(static_cast<unsigned char>(bytes[25]), 6) << name << " should be RGBA";
  }
}

}  // namespace
}  // namespace ferlo
