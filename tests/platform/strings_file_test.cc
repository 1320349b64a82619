#include "platform/posix/strings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ferlo {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairsOf(const StringsTable& table) { return Pairs(table.begin(), table.end()); }

// Re-encodes UTF-8 test text (BMP and astral) as UTF-16 with a byte order mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
  for (const char16_t unit : text) {
    const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

struct AcceptedCase {
  const char* name;
  std::string bytes;
  Pairs expected;
};
std::ostream& operator<<(std::ostream& out, const AcceptedCase& c) { return out << c.name; }

class StringsAcceptedTest : public testing::TestWithParam<AcceptedCase> {};

TEST_P(StringsAcceptedTest, Parses) {
  const AcceptedCase& c = GetParam();
  const StringsParseResult result = parseStringsFile(c.bytes);
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  EXPECT_EQ(pairsOf(*result.table), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, StringsAcceptedTest,
    testing::Values(
        AcceptedCase{"Empty", "", {}},
        AcceptedCase{"OnePair", R"("finder.section.rules" = "Rules";)", {{"finder.section.rules", "Rules"}}},
        AcceptedCase{"CommentsEverywhere",
                     "/* head */\n\"a\" /* k */ = // v\n \"b\" /* ; */ ;// tail",
                     {{"a", "b"}}},
        AcceptedCase{"SimpleEscapes", R"("k" = "q\" b\\ n\n t\t r\r a\a b\b f\f v\v s\' ";)",
                     {{"k", "q\" b\\ n\n t\t r\r a\a b\b f\f v\v s' "}}},
        AcceptedCase{"UnknownEscapeIsTheCharacter", R"("k" = "\q\%\é";)", {{"k", "q%é"}}},
        AcceptedCase{"OctalEscapes", R"("k" = "\101\0\60x\177";)", {{"k", std::string("A\0" "0x\x7F", 5)}}},
        AcceptedCase{"UnicodeEscapeSurrogatePair", R"("k" = "\UD83D\UDE00!";)", {{"k", "\U0001F600!"}}},
        AcceptedCase{"Utf8Bom", "\xEF\xBB\xBF\"k\" = \"v\";", {{"k", "v"}}},
        AcceptedCase{"Utf16LittleEndian", utf16(u"/* c */\n\"k\" = \"T\u00e4g\U0001F600\";", false),
                     {{"k", "Täg\U0001F600"}}},
        AcceptedCase{"BareTokens", "key_1 = value.with-dots/and:colons$+;", {{"key_1", "value.with-dots/and:colons$+"}}},
        AcceptedCase{"ShortFormKeyIsItsOwnValue", R"("Keep"; "a" = "b";)", {{"Keep", "Keep"}, {"a", "b"}}},
        AcceptedCase{"LastDuplicateWins", R"("k" = "first"; "k" = "second";)", {{"k", "second"}}},
        AcceptedCase{"LineCommentAtEndOfFile", "\"a\" = \"b\"; // no newline", {{"a", "b"}}},
        // The property-list forms a built bundle may hold.
        AcceptedCase{"XmlPropertyList", " <plist><dict><key>k</key><string>v</string></dict></plist>", {{"k", "v"}}},
        AcceptedCase{"BinaryPropertyList",
                     std::string("bplist00\xD1\x01\x02\x51k\x51v\x08\x0B\x0D\0\0\0\0\0\0\x01\x01", 26) +
                         std::string("\0\0\0\0\0\0\0\x03", 8) + std::string(8, '\0') +
                         std::string("\0\0\0\0\0\0\0\x0F", 8),
                     {{"k", "v"}}}),
    [](const testing::TestParamInfo<AcceptedCase>& info) { return std::string(info.param.name); });

struct RejectedCase {
  const char* name;
  std::string bytes;
  std::size_t line;
  const char* reasonContains;
};
std::ostream& operator<<(std::ostream& out, const RejectedCase& c) { return out << c.name; }

class StringsRejectedTest : public testing::TestWithParam<RejectedCase> {};

TEST_P(StringsRejectedTest, YieldsNoTableAndSaysWhere) {
  const RejectedCase& c = GetParam();
  const StringsParseResult result = parseStringsFile(c.bytes);
  EXPECT_FALSE(result.table.has_value());
  EXPECT_EQ(result.diagnostic.line, c.line) << describe(result.diagnostic);
  EXPECT_NE(result.diagnostic.reason.find(c.reasonContains), std::string::npos) << describe(result.diagnostic);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, StringsRejectedTest,
    testing::Values(
        // One bad entry discards the good ones before it.
        RejectedCase{"MissingSemicolon", "\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";", 2, "missing ';'"},
        RejectedCase{"UnterminatedString", "\"a\" = \"b\";\n\"c\" = \"d;\n\n", 2, "unterminated string"},
        RejectedCase{"MissingEquals", "\"a\" \"b\";", 1, "expected '='"},
        RejectedCase{"TextAfterBrace", "{ \"a\" = \"b\"; } \"c\" = \"d\";", 1, "after the closing '}'"},
        RejectedCase{"LoneHighSurrogate", "\"k\" = \"\\UD83D x\";", 1, "unpaired high surrogate"},
        RejectedCase{"LoneLowSurrogate", "\n\"k\" = \"\\UDE00\";", 2, "unpaired low surrogate"},
        RejectedCase{"OctalAboveAscii", "\"k\" = \"\\200\";", 1, "octal escape"},
        RejectedCase{"InvalidUtf8", "\"a\" = \"b\";\n\"k\" = \"\xC3\x28\";", 2, "invalid UTF-8"},
        RejectedCase{"Utf16OddLength", std::string("\xFF\xFE\x22\x00\x6B", 5), 0, "odd number of bytes"},
        RejectedCase{"Utf16WithoutBomHasNuls", std::string("\x22\x00\x6B\x00\x22\x00", 6), 1, "expected '='"},
        RejectedCase{"TruncatedBinaryPropertyList", std::string("bplist00\xD1\x01\x02", 11), 0, "truncated"},
        RejectedCase{"PropertyListOfNonText", "<plist><dict><key>k</key><true/></dict></plist>", 0,
                     "the value of \"k\" is not text"},
        RejectedCase{"LoneCarriageReturnsCountAsLines", "\"a\" = \"b\";\r\r\"c\" = \"d\"", 3, "missing ';'"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return std::string(info.param.name); });

// Inputs that make a careless parser go quadratic or deep: many entries, a
// long run of escapes, a huge unterminated comment. They must finish and
// give the right verdict; the test has no clock, a hang shows as a timeout.
TEST(StringsLargeInputs, StayLinear) {
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "\"k" + std::to_string(i) + "\" = \"v\";\n";
  const StringsParseResult manyResult = parseStringsFile(many);
  ASSERT_TRUE(manyResult.table.has_value());
  EXPECT_EQ(manyResult.table->size(), 100000u);

  std::string escapes = "\"k\" = \"";
  for (int i = 0; i < 200000; ++i) escapes += "\\n";
  EXPECT_FALSE(parseStringsFile(escapes).table.has_value());  // never closed

  EXPECT_FALSE(parseStringsFile("/*" + std::string(1 << 20, '*')).table.has_value());
  EXPECT_FALSE(parseStringsFile(std::string(1 << 16, '{')).table.has_value());
}

}  // namespace
}  // namespace ferlo
