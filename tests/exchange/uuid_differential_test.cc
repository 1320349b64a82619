// parseUuid reads every id of the manifest at every menu, so it decodes
// sixteen digits at a time rather than with one test per character. This
// holds it, and each variant of the sixteen-digit decoder (the one for this
// machine's vector registers and the portable one the other machines use),
// against the plain character-by-character reading on random texts: valid
// ids in every case mix, and ids with one or two bytes changed, hyphens
// moved, or the length off by one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

#include "exchange/hex_digits.h"
#include "exchange/uuid.h"

namespace ferlo {
namespace {

// The rule read literally: 36 characters, "-" at 9, 14, 19, 24, hexadecimal
// digits in either case everywhere else.
std::optional<Uuid> straightforwardParseUuid(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::string digits;
  for (std::size_t i = 0; i < 36; ++i) {
    const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphenPlace ? text[i] != '-' : std::string_view("0123456789abcdefABCDEF").find(text[i]) == std::string_view::npos) {
      return std::nullopt;
    }
    if (!hyphenPlace) digits += text[i];
  }
  Uuid uuid;
  for (std::size_t b = 0; b < 16; ++b) uuid.bytes[b] = static_cast<std::uint8_t>(std::stoi(digits.substr(2 * b, 2), nullptr, 16));
  return uuid;
}

// Bytes a mutation puts in: the near misses of a hexadecimal digit, the
// hyphen, and arbitrary bytes (UTF-8 lead and continuation bytes, NUL).
constexpr std::string_view kInteresting = "/0:9@AFG`afg-_ {}\x00\x7f\x80\xbf\xc3\xff";

std::string randomValidText(std::mt19937& random) {
  static constexpr std::string_view kDigits = "0123456789abcdefABCDEF";
  std::string text(36, '-');
  for (std::size_t i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    text[i] = kDigits[random() % kDigits.size()];
  }
  return text;
}

TEST(UuidDifferentialTest, TableDecodingAgreesWithTheCharacterByCharacterReading) {
  std::mt19937 random(424242u);  // fixed starting state: failures reproduce
  const std::string_view interesting(kInteresting.data(), kInteresting.size());
  int accepted = 0;
  for (int round = 0; round < 200'000; ++round) {
    std::string text = randomValidText(random);
    switch (random() % 5) {
      case 0:  // left valid
        break;
      case 1:  // one or two bytes changed
      case 2:
        text[random() % text.size()] = interesting[random() % interesting.size()];
        if (random() % 2) text[random() % text.size()] = static_cast<char>(random() & 0xFF);
        break;
      case 3:  // a hyphen moved by one
        {
          const std::size_t hyphen = std::array<std::size_t, 4>{8, 13, 18, 23}[random() % 4];
          std::swap(text[hyphen], text[random() % 2 == 0 ? hyphen - 1 : hyphen + 1]);
        }
        break;
      default:  // one character too few or too many
        if (random() % 2 == 0) {
          text.erase(random() % text.size(), 1);
        } else {
          text.insert(random() % (text.size() + 1), 1, interesting[random() % interesting.size()]);
        }
        break;
    }
    const std::optional<Uuid> expected = straightforwardParseUuid(text);
    ASSERT_EQ(parseUuid(text), expected) << "text: \"" << text << "\"";
    accepted += expected.has_value();
  }
  // Both outcomes were exercised in earnest.
  EXPECT_GT(accepted, 40'000);
  EXPECT_LT(accepted, 160'000);
}

// Sixteen digits read one by one: the bytes, or none.
std::optional<std::array<unsigned char, 8>> straightforwardSixteen(const unsigned char* digits) {
  std::string text(reinterpret_cast<const char*>(digits), 8);
  text += "-";
  text.append(reinterpret_cast<const char*>(digits) + 8, 4);
  text += "-";
  text.append(reinterpret_cast<const char*>(digits) + 12, 4);
  text += "-0000-000000000000";
  const std::optional<Uuid> uuid = straightforwardParseUuid(text);
  if (!uuid) return std::nullopt;
  std::array<unsigned char, 8> bytes;
  std::copy_n(uuid->bytes.begin(), 8, bytes.begin());
  return bytes;
}

TEST(HexDigitsDifferentialTest, EveryByteValueInEveryPlaceIsJudgedAlike) {
  // Exhaustive over one broken place: 16 places x 256 values, on digits of
  // both cases (random valid digits reach the vector decoder through parseUuid).
  for (int place = 0; place < 16; ++place) {
    for (int value = 0; value < 256; ++value) {
      unsigned char digits[16];
      for (int i = 0; i < 16; ++i) digits[i] = static_cast<unsigned char>("0123456789abcDEF"[i]);
      digits[place] = static_cast<unsigned char>(value);
      const bool expected = straightforwardSixteen(digits).has_value();
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
