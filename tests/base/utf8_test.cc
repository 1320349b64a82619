// The one validator and the one replacement rule, against a table of the
// cases that tell the rules apart and, on every short string of boundary
// bytes, against simdjson and the fuzzers' own scalar decoder.
#include "base/utf8.h"

#include <gtest/gtest.h>

#include "fuzz/fuzz_support.h"

namespace ferlo {
namespace {

#define FFFD "\xEF\xBF\xBD"

TEST(Utf8Test, RepairReplacesEachMaximalSubpartOnce) {
  const struct {
    const char* name;
    std::string_view input;
    std::string_view repaired;
    std::size_t validPrefix;
  } cases[] = {
      {"Valid", "a\xC3\xA9\xE2\x80\xA8\xF4\x8F\xBF\xBF" FFFD, "a\xC3\xA9\xE2\x80\xA8\xF4\x8F\xBF\xBF" FFFD, 13},
      {"Empty", "", "", 0},
      {"LoneContinuation", "a\x80\xBFz", "a" FFFD FFFD "z", 1},
      {"TruncatedAtEnd", "x\xE2\x82", "x" FFFD, 1},
      {"TruncatedBeforeAscii", "\xF0\x9F\x98z", FFFD "z", 0},
      {"TruncatedBeforeLead", "\xE2\xC3\xA9", FFFD "\xC3\xA9", 0},
      {"OverlongStartsNothing", "\xC0\xAF\xE0\x80\x80", FFFD FFFD FFFD FFFD FFFD, 0},
      {"EncodedSurrogate", "\xED\xA0\x80", FFFD FFFD FFFD, 0},
      {"LastBeforeSurrogates", "\xED\x9F\xBF\xED\x9F", "\xED\x9F\xBF" FFFD, 3},
      {"BeyondU10FFFF", "\xF4\x90\x80\x80", FFFD FFFD FFFD FFFD, 0},
      {"NeverLeadBytes", "\xF5\xFE\xFF", FFFD FFFD FFFD, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repairUtf8(c.input), c.repaired) << c.name;
    EXPECT_EQ(validUtf8Prefix(c.input), c.validPrefix) << c.name;
    EXPECT_EQ(isValidUtf8(c.input), c.validPrefix == c.input.size()) << c.name;
  }
}

constexpr unsigned char kBoundaryBytes[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                            0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};

// A maximal subpart is the longest start that some well-formed sequence has;
// the bytes below hit every bound of the table of well-formed sequences.
TEST(Utf8Test, AgreesWithIndependentDecodersOnEveryShortString) {
  const auto startsWellFormed = [](const std::string& prefix) {
    for (const unsigned char a : {0x80, 0x90, 0xA0, 0xBF}) {
      for (const unsigned char b : {0x80, 0xBF}) {
        for (std::size_t more = 1; prefix.size() + more <= 4; ++more) {
          const std::string whole = prefix + std::string(1, static_cast<char>(a)) + std::string(more - 1, static_cast<char>(b));
          if (fuzz::isValidUtf8(whole)) return true;
        }
      }
    }
    return false;
  };
  std::string text;
  std::size_t strings = 0;
  const auto check = [&](const auto& self, std::size_t length) -> void {
    if (text.size() == length) {
      ++strings;
      const Utf8Sequence first = firstUtf8Sequence(text);
      std::size_t expected = first.valid ? first.size : 1;
      while (!first.valid && expected < text.size() && startsWellFormed(text.substr(0, expected + 1))) ++expected;
      ASSERT_EQ(first.size, expected) << testing::PrintToString(text);
      ASSERT_EQ(first.valid, fuzz::isValidUtf8(text.substr(0, first.size))) << testing::PrintToString(text);
      std::string encoded;
      if (first.valid) appendUtf8(encoded, first.codePoint);
      ASSERT_EQ(encoded, first.valid ? text.substr(0, first.size) : "") << testing::PrintToString(text);
      ASSERT_EQ(isValidUtf8(text), fuzz::isValidUtf8(text)) << testing::PrintToString(text);
      ASSERT_TRUE(fuzz::isValidUtf8(repairUtf8(text))) << testing::PrintToString(text);
      return;
    }
    for (const unsigned char byte : kBoundaryBytes) {
      text.push_back(static_cast<char>(byte));
      self(self, length);
      text.pop_back();
    }
  };
  for (std::size_t length = 1; length <= 4; ++length) check(check, length);
  EXPECT_EQ(strings, 21u + 21 * 21 + 21 * 21 * 21 + 21 * 21 * 21 * 21);
}

}  // namespace
}  // namespace ferlo
