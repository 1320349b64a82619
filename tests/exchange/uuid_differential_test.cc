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
  Uuid uuid;
  std::size_t byte = 0;
  int pending = -1;
  for (std::size_t i = 0; i < 36; ++i) {
    const char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return std::nullopt;
      continue;
    }
    int value;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      value = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (pending < 0) {
      pending = value;
    } else {
      uuid.bytes[byte++] = static_cast<std::uint8_t>(pending * 16 + value);
      pending = -1;
    }
  }
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
      case 1:  // one byte changed
        text[random() % text.size()] = interesting[random() % interesting.size()];
        break;
      case 2:  // two bytes changed
        text[random() % text.size()] = interesting[random() % interesting.size()];
        text[random() % text.size()] = static_cast<char>(random() & 0xFF);
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

TEST(HexDigitsDifferentialTest, EveryVariantAgreesOnEveryByteInEveryPlace) {
  std::mt19937 random(77u);
  static constexpr std::string_view kDigits = "0123456789abcdefABCDEF";
  const std::string_view interesting(kInteresting.data(), kInteresting.size());
  for (int round = 0; round < 100'000; ++round) {
    unsigned char digits[16];
    for (unsigned char& d : digits) d = static_cast<unsigned char>(kDigits[random() % kDigits.size()]);
    // Half the rounds break one place: every byte value, in every place.
    if (round % 2 == 1) {
      const unsigned char value = random() % 2 == 0 ? static_cast<unsigned char>(random() & 0xFF)
                                                    : static_cast<unsigned char>(interesting[random() % interesting.size()]);
      digits[random() % 16] = value;
    }
    const std::optional<std::array<unsigned char, 8>> expected = straightforwardSixteen(digits);
    const std::uint64_t first = hex_digits::loadLittleEndian<8>(digits);
    const std::uint64_t second = hex_digits::loadLittleEndian<8>(digits + 8);
    const std::string shown(reinterpret_cast<const char*>(digits), 16);

    std::array<unsigned char, 8> portable{};
    const bool portableOk = hex_digits::decodeSixteenPortable(first, second, portable.data());
    ASSERT_EQ(portableOk, expected.has_value()) << "digits: \"" << shown << "\"";
    if (expected) {
      EXPECT_EQ(portable, *expected) << "digits: \"" << shown << "\"";
    }
#if defined(__SSE2__)
    std::array<unsigned char, 8> vector{};
    const bool vectorOk = hex_digits::decodeSixteenSse2(first, second, vector.data());
    ASSERT_EQ(vectorOk, expected.has_value()) << "digits: \"" << shown << "\"";
    if (expected) {
      EXPECT_EQ(vector, *expected) << "digits: \"" << shown << "\"";
    }
#endif
  }
}

TEST(HexDigitsDifferentialTest, EveryByteValueInEveryPlaceIsJudgedAlike) {
  // Exhaustive over one broken place: 16 places x 256 values.
  for (int place = 0; place < 16; ++place) {
    for (int value = 0; value < 256; ++value) {
      unsigned char digits[16];
      for (int i = 0; i < 16; ++i) digits[i] = static_cast<unsigned char>("0123456789abcdef"[i]);
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
