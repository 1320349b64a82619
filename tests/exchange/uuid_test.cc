// parseUuid reads every id of the manifest at every menu, so it decodes
// sixteen digits at a time rather than with one test per character; it is
// held here, and each variant of the sixteen-digit decoder (the one for this
// machine's vector registers and the portable one the other machines use),
// against the plain character-by-character reading of the text form.
#include "exchange/uuid.h"

#include <gtest/gtest.h>

#include <array>
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
    if (!hyphenPlace) digits += text[i];
  }
  Uuid uuid;
  for (std::size_t b = 0; b < 16; ++b) uuid.bytes[b] = static_cast<std::uint8_t>(std::stoi(digits.substr(2 * b, 2), nullptr, 16));
  return uuid;
}

// The text form is upper case in byte order; every byte value in every place
// of a valid id (digits of both cases), and the length one off either way.
TEST(UuidTest, ParseAgreesWithTheCharacterByCharacterReading) {
  const std::optional<Uuid> uuid = parseUuid("00112233-4455-6677-8899-aabbCCDDeeff");
  ASSERT_TRUE(uuid.has_value());
  EXPECT_EQ(uuid->bytes, (std::array<std::uint8_t, 16>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                                       0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  EXPECT_EQ(uuid->uuidString(), "00112233-4455-6677-8899-AABBCCDDEEFF");
  const std::string valid = "01234567-89ab-cDEF-a0B1-c2D3e4F56789";
  ASSERT_TRUE(straightforwardParseUuid(valid).has_value());
  for (std::size_t place = 0; place < valid.size(); ++place) {
    for (int value = 0; value < 256; ++value) {
      std::string text = valid;
      text[place] = static_cast<char>(value);
      const std::optional<Uuid> expected = straightforwardParseUuid(text);
      ASSERT_EQ(parseUuid(text), expected) << place << " " << value;
      ASSERT_TRUE(!expected || parseUuid(expected->uuidString()) == expected) << place << " " << value;
    }
  }
  EXPECT_EQ(parseUuid(valid.substr(1)), std::nullopt);
  EXPECT_EQ(parseUuid(valid + "0"), std::nullopt);
}

// Exhaustive over one broken place: 16 places x 256 values, on digits of
// both cases, for each variant of the decoder.
TEST(UuidTest, EveryDecoderVariantJudgesEveryByteInEveryPlaceAlike) {
  for (int place = 0; place < 16; ++place) {
    for (int value = 0; value < 256; ++value) {
      unsigned char digits[17] = "0123456789abcDEF";
      digits[place] = static_cast<unsigned char>(value);
      std::string text(reinterpret_cast<const char*>(digits), 16);
      text.insert(12, "-").insert(8, "-") += "-0000-000000000000";
      const bool expected = straightforwardParseUuid(text).has_value();
      const std::uint64_t first = hex_digits::loadLittleEndian<8>(digits);
      const std::uint64_t second = hex_digits::loadLittleEndian<8>(digits + 8);
      unsigned char out[8];
      ASSERT_EQ(hex_digits::decodeSixteenPortable(first, second, out), expected) << place << " " << value;
#if defined(__SSE2__)
      ASSERT_EQ(hex_digits::decodeSixteenSse2(first, second, out), expected) << place << " " << value;
#endif
    }
  }
}

}  // namespace
}  // namespace ferlo
