#include "exchange/uuid.h"

#include <gtest/gtest.h>

#include <random>

namespace ferlo {
namespace {

struct UuidCase {
  const char* name;
  std::string_view text;
  std::optional<std::string_view> canonical;  // none: refused
};

void PrintTo(const UuidCase& c, std::ostream* os) { *os << c.name << ": \"" << c.text << "\""; }

class ParseUuidTest : public testing::TestWithParam<UuidCase> {};

TEST_P(ParseUuidTest, ParsesOrRefuses) {
  const UuidCase& c = GetParam();
  const std::optional<Uuid> uuid = parseUuid(c.text);
  if (!c.canonical) {
    EXPECT_FALSE(uuid.has_value());
    return;
  }
  ASSERT_TRUE(uuid.has_value());
  EXPECT_EQ(uuid->uuidString(), *c.canonical);
}

constexpr std::string_view kUpper = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";

INSTANTIATE_TEST_SUITE_P(
    Table, ParseUuidTest,
    testing::Values(
        UuidCase{"UpperCase", kUpper, kUpper},
        UuidCase{"LowerCase", "0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30", kUpper},
        UuidCase{"AllZero", "00000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000000"},
        UuidCase{"NoVersionBitsChecked", "12345678-9ABC-DEF0-1234-56789ABCDEF0", "12345678-9ABC-DEF0-1234-56789ABCDEF0"},
        UuidCase{"Empty", "", std::nullopt},
        UuidCase{"ThirtyFiveCharacters", "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3", std::nullopt},
        UuidCase{"Braced", "{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30}", std::nullopt},
        UuidCase{"NoHyphens", "0F8E2C4A6B1D4A3E9C572D8B4E6F1A30", std::nullopt},
        UuidCase{"NoHyphensPaddedTo36", "0F8E2C4A6B1D4A3E9C572D8B4E6F1A300000", std::nullopt},
        UuidCase{"HyphenShifted", "0F8E2C4-A6B1D-4A3E-9C57-2D8B4E6F1A30", std::nullopt},
        UuidCase{"LeadingSpace", " 0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3", std::nullopt},
        UuidCase{"NonHexLetter", "0F8E2C4G-6B1D-4A3E-9C57-2D8B4E6F1A30", std::nullopt},
        UuidCase{"NonHexLastDigit", "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3g", std::nullopt},
        UuidCase{"PlusSignDigit", "+F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", std::nullopt},
        UuidCase{"EmbeddedNul", std::string_view("0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3\0", 36), std::nullopt}),
    [](const testing::TestParamInfo<UuidCase>& info) { return std::string(info.param.name); });

TEST(UuidTest, TextFormRoundTripsEveryByteValue) {
  std::mt19937 generator(7);
  for (int round = 0; round < 200; ++round) {
    Uuid uuid;
    for (auto& byte : uuid.bytes) byte = static_cast<std::uint8_t>(generator());
    const std::string text = uuid.uuidString();
    ASSERT_EQ(text.size(), 36u);
    for (char c : text) ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-') << text;
    EXPECT_EQ(parseUuid(text), uuid) << text;
  }
}

TEST(UuidTest, BytesAreInTextOrder) {
  const std::optional<Uuid> uuid = parseUuid("00112233-4455-6677-8899-AABBCCDDEEFF");
  ASSERT_TRUE(uuid.has_value());
  const std::array<std::uint8_t, 16> expected = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(uuid->bytes, expected);
}

}  // namespace
}  // namespace ferlo
