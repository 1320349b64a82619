// parseUuid reads every id of the manifest at every menu, so it decodes
// sixteen digits at a time rather than with one test per character; it is
// held here, and each variant of the sixteen-digit decoder (the one for this
// machine's vector registers and the portable one the other machines use),
// against the plain character-by-character reading of the text form.
#include "exchange/uuid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "exchange/hex_digits.h"

namespace ferlo {
namespace {

// The rule read literally: 36 characters, "-" at 9, 14, 19, 24, hexadecimal
// digits in either case everywhere else.
std::optional<Uuid> straightforwardParseUuid(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::string digits;
  for (std::size_t i = 0; i < 36; ++i) {
    const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphenPlace ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    digits += hyphenPlace ? "" : text.substr(i, 1);
  }
  Uuid uuid;
  for (std::size_t b = 0; b < 16; ++b) uuid.bytes[b] = static_cast<std::uint8_t>(std::stoi(digits.substr(2 * b, 2), nullptr, 16));
  return uuid;
}

// The text form is upper case in byte order; every byte value in every place
// of a valid id (digits of both cases), and the length one off either way.
// The sixteen-digit decoders, each variant, judge the first sixteen digits
// of the same texts.
TEST(UuidTest, ParseAndEveryDecoderVariantAgreeWithTheCharacterByCharacterReading) {
  EXPECT_EQ(parseUuid("00112233-4455-6677-8899-aabbCCDDeeff")->uuidString(), "00112233-4455-6677-8899-AABBCCDDEEFF");
  const std::string valid = "01234567-89ab-cDEF-a0B1-c2D3e4F56789";
  ASSERT_TRUE(straightforwardParseUuid(valid).has_value());
  for (std::size_t place = 0; place < valid.size(); ++place) {
    for (int value = 0; value < 256; ++value) {
      std::string text = valid;
      text[place] = static_cast<char>(value);
      const std::optional<Uuid> expected = straightforwardParseUuid(text);
      ASSERT_EQ(parseUuid(text), expected) << place << " " << value;
      ASSERT_TRUE(!expected || parseUuid(expected->uuidString()) == expected) << place << " " << value;
      const std::string digits = text.substr(0, 8) + text.substr(9, 4) + text.substr(14, 4);
      const bool digitsValid = std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); });
      const auto* bytes = reinterpret_cast<const unsigned char*>(digits.data());
      const std::uint64_t first = hex_digits::loadLittleEndian<8>(bytes), second = hex_digits::loadLittleEndian<8>(bytes + 8);
      unsigned char out[8];
      ASSERT_EQ(hex_digits::decodeSixteenPortable(first, second, out), digitsValid) << place << " " << value;
#if defined(__SSE2__)
      ASSERT_EQ(hex_digits::decodeSixteenSse2(first, second, out), digitsValid) << place << " " << value;
#endif
    }
  }
  EXPECT_FALSE(parseUuid(valid.substr(1)) || parseUuid(valid + "0"));
}

}  // namespace
}  // namespace ferlo
