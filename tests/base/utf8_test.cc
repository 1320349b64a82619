// The one validator and the one replacement rule: a table of the cases that
// tell replacement rules apart, and every short string of boundary bytes
// against simdjson and the fuzzers' own scalar decoder.
#include "base/utf8.h"

#include <gtest/gtest.h>

#include "fuzz/fuzz_support.h"

namespace ferlo {
namespace {

#define FFFD "\xEF\xBF\xBD"

TEST(Utf8Test, RepairReplacesEachMaximalSubpartOnce) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a\xC3\xA9\xE2\x80\xA8\xF4\x8F\xBF\xBF" FFFD, "a\xC3\xA9\xE2\x80\xA8\xF4\x8F\xBF\xBF" FFFD},  // valid: as is
      {"a\x80\xBFz", "a" FFFD FFFD "z"},                   // lone continuation bytes
      {"x\xE2\x82", "x" FFFD},                             // cut short at the end
      {"\xF0\x9F\x98z\xE2\xC3\xA9", FFFD "z" FFFD "\xC3\xA9"},  // cut short by the next character
      {"\xC0\xAF\xE0\x80\x80", FFFD FFFD FFFD FFFD FFFD},  // overlong forms start nothing
      {"\xED\x9F\xBF\xED\xA0\x80", "\xED\x9F\xBF" FFFD FFFD FFFD},  // U+D7FF, then a surrogate
      {"\xF4\x90\x80\x80\xF5\xFF", FFFD FFFD FFFD FFFD FFFD FFFD},  // above U+10FFFF, never a lead
  };
  for (const auto& [input, repaired] : cases) EXPECT_EQ(repairUtf8(input), repaired) << testing::PrintToString(input);
}

// A maximal subpart is the longest start that some well-formed sequence has;
// the bytes below hit every bound of the table of well-formed sequences.
TEST(Utf8Test, AgreesWithIndependentDecodersOnEveryShortString) {
  static constexpr unsigned char kBytes[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                             0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
  const auto startsWellFormed = [](const std::string& start) {
    for (const char next : {'\x80', '\x90', '\xA0', '\xBF'}) {
      for (std::size_t more = 0; start.size() + 1 + more <= 4; ++more) {
        if (fuzz::isValidUtf8(start + next + std::string(more, '\x80'))) return true;
      }
    }
    return false;
  };
  for (std::size_t length = 1, count = 21; length <= 4; ++length, count *= 21) {
    for (std::size_t n = 0; n < count; ++n) {
      std::string text;
      for (std::size_t k = n; text.size() < length; k /= 21) text += static_cast<char>(kBytes[k % 21]);
      const Utf8Sequence first = firstUtf8Sequence(text);
      std::size_t subpart = 1;
      while (!first.valid && subpart < text.size() && startsWellFormed(text.substr(0, subpart + 1))) ++subpart;
      std::string encoded;
      if (first.valid) appendUtf8(encoded, first.codePoint);
      ASSERT_EQ(first.size, first.valid ? encoded.size() : subpart) << testing::PrintToString(text);
      ASSERT_EQ(first.valid, fuzz::isValidUtf8(text.substr(0, first.size))) << testing::PrintToString(text);
      ASSERT_EQ(encoded, first.valid ? text.substr(0, first.size) : "") << testing::PrintToString(text);
      ASSERT_EQ(isValidUtf8(text), fuzz::isValidUtf8(text)) << testing::PrintToString(text);
      ASSERT_EQ(validUtf8Prefix(text) == text.size(), isValidUtf8(text)) << testing::PrintToString(text);
      ASSERT_TRUE(fuzz::isValidUtf8(repairUtf8(text))) << testing::PrintToString(text);
    }
  }
}

}  // namespace
}  // namespace ferlo
