#include "exchange/json_writer.h"

#include <gtest/gtest.h>

#include <limits>

namespace ferlo {
namespace {

struct EscapeCase {
  const char* name;
  std::string_view input;
  std::string_view written;  // with the quotes
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class JsonStringEscapeTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(JsonStringEscapeTest, WritesExactBytes) {
  std::string out;
  ASSERT_TRUE(appendJsonString(out, GetParam().input));
  EXPECT_EQ(out, GetParam().written);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Table, JsonStringEscapeTest,
    testing::Values(
        EscapeCase{"Empty", "", R"("")"},
        EscapeCase{"Quote", "say \"hi\"", R"("say \"hi\"")"},
        EscapeCase{"Backslash", "a\\b", R"("a\\b")"},
        EscapeCase{"Slash", "/Users/user", R"("\/Users\/user")"},
        EscapeCase{"EscapedLookingText", "\\/", R"("\\\/")"},
        EscapeCase{"Nul", "\0"sv, R"("\u0000")"},
        EscapeCase{"Tab", "\t", R"("\t")"},
        EscapeCase{"LineFeed", "\n", R"("\n")"},
        EscapeCase{"VerticalTab", "\v", R"("\u000b")"},
        EscapeCase{"FormFeed", "\f", R"("\f")"},
        EscapeCase{"CarriageReturn", "\r", R"("\r")"},
        EscapeCase{"U001F", "\x1f", R"("\u001f")"},
        EscapeCase{"DeleteIsRaw", "\x7f", "\"\x7f\""},
        EscapeCase{"LineSeparatorRaw", "\xE2\x80\xA8", "\"\xE2\x80\xA8\""},
        EscapeCase{"EmojiRaw", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        EscapeCase{"MixedRun", "a/\"\n\xC3\xA9\\", R"("a\/\"\n)" "\xC3\xA9" R"(\\")"}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

struct InvalidCase {
  const char* name;
  std::string_view input;
  std::string_view replaced;  // the text written with U+FFFD in place of bad bytes
};

void PrintTo(const InvalidCase& c, std::ostream* os) { *os << c.name; }

class InvalidUtf8Test : public testing::TestWithParam<InvalidCase> {};

#define FFFD "\xEF\xBF\xBD"

TEST_P(InvalidUtf8Test, RefusedByDefaultAndReplacedWhenAsked) {
  std::string out = "kept";
  EXPECT_FALSE(appendJsonString(out, GetParam().input));
  EXPECT_EQ(out, "kept") << "a refused string must append nothing";

  JsonWriter refusing;
  refusing.beginArray();
  refusing.string("fine");
  refusing.string(GetParam().input);
  refusing.endArray();
  EXPECT_FALSE(refusing.ok());
  EXPECT_EQ(refusing.finish(), std::nullopt);

  std::string replaced;
  appendJsonStringReplacingInvalid(replaced, GetParam().input);
  EXPECT_EQ(replaced, GetParam().replaced);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidUtf8Test,
    testing::Values(InvalidCase{"LoneContinuation", "a\x80z", "\"a" FFFD "z\""},
                    InvalidCase{"OverlongSlash", "\xC0\xAF", "\"" FFFD FFFD "\""},
                    InvalidCase{"EncodedSurrogate", "\xED\xA0\x80", "\"" FFFD FFFD FFFD "\""},
                    InvalidCase{"TruncatedAtEnd", "/x\xE2\x82", "\"\\/x" FFFD FFFD "\""},
                    InvalidCase{"BeyondU10FFFF", "\xF4\x90\x80\x80", "\"" FFFD FFFD FFFD FFFD "\""},
                    InvalidCase{"ByteFF", "ok\xFF\n", "\"ok" FFFD "\\n\""}),
    [](const testing::TestParamInfo<InvalidCase>& info) { return std::string(info.param.name); });

TEST(JsonWriterTest, WritesCompactNestedStructure) {
  JsonWriter w;
  w.beginObject();
  w.key("b");
  w.beginArray();
  w.beginObject();
  w.endObject();
  w.beginObject();
  w.key("x");
  w.null();
  w.key("y");
  w.boolean(true);
  w.endObject();
  w.integer(-1);
  w.endArray();
  w.key("c");
  w.boolean(false);
  w.endObject();
  EXPECT_EQ(w.finish(), R"({"b":[{},{"x":null,"y":true},-1],"c":false})");
}

TEST(JsonWriterTest, IntegersArePlainDecimal) {
  const std::pair<std::int64_t, std::string_view> cases[] = {
      {0, "[0]"},
      {std::numeric_limits<std::int64_t>::max(), "[9223372036854775807]"},
      {std::numeric_limits<std::int64_t>::min(), "[-9223372036854775808]"},
  };
  for (const auto& [value, expected] : cases) {
    JsonWriter w;
    w.beginArray();
    w.integer(value);
    w.endArray();
    EXPECT_EQ(w.finish(), expected) << value;
  }
}

TEST(JsonWriterTest, InvalidMemberNameIsRefusedToo) {
  JsonWriter w;
  w.beginObject();
  w.key("\xC3");
  w.integer(1);
  w.endObject();
  EXPECT_EQ(w.finish(), std::nullopt);
}

}  // namespace
}  // namespace ferlo
