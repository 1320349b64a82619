// The writer's byte form; the structure it writes is checked through the
// two encoders' exact bytes (tool_request_test, rule_manifest_test).
#include "exchange/json_writer.h"

#include <gtest/gtest.h>

namespace ferlo {
namespace {

using namespace std::string_view_literals;

#define FFFD "\xEF\xBF\xBD"

TEST(JsonStringTest, EscapesExactlyQuoteBackslashSlashAndControls) {
  // Every control character has its one escape; DEL, U+2028 and other
  // non-ASCII text stay raw.
  std::string out;
  ASSERT_TRUE(appendJsonString(out, "a/\"\\\\/\b\f\n\r\t\v\0\x1f\x7f\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80"sv));
  EXPECT_EQ(out, R"("a\/\"\\\\\/\b\f\n\r\t\u000b\u0000\u001f)" "\x7f\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\"");
}

TEST(JsonStringTest, InvalidUtf8IsRefusedOrReplacedByteByByte) {
  const struct {
    const char* name;
    std::string_view input;
    std::string_view replaced;  // with U+FFFD for each byte that begins no valid sequence
  } cases[] = {
      {"LoneContinuation", "a\x80z", "\"a" FFFD "z\""},
      {"OverlongSlash", "\xC0\xAF", "\"" FFFD FFFD "\""},
      {"EncodedSurrogate", "\xED\xA0\x80", "\"" FFFD FFFD FFFD "\""},
      {"TruncatedAtEnd", "/x\xE2\x82", "\"\\/x" FFFD FFFD "\""},
      {"BeyondU10FFFF", "\xF4\x90\x80\x80", "\"" FFFD FFFD FFFD FFFD "\""},
      {"ByteFF", "ok\xFF\n", "\"ok" FFFD "\\n\""},
  };
  for (const auto& c : cases) {
    std::string out = "kept";
    EXPECT_FALSE(appendJsonString(out, c.input)) << c.name;
    EXPECT_EQ(out, "kept") << c.name << ": a refused string must append nothing";
    std::string replaced;
    appendJsonStringReplacingInvalid(replaced, c.input);
    EXPECT_EQ(replaced, c.replaced) << c.name;
  }
  // A refusing writer gives no text at all, for a value or a member name.
  for (const bool asKey : {false, true}) {
    JsonWriter writer;
    writer.beginObject(), writer.key(asKey ? "\xC3" : "fine"), writer.string(asKey ? "fine" : "\xC3"), writer.endObject();
    EXPECT_FALSE(writer.ok() || writer.finish());
  }
}

}  // namespace
}  // namespace ferlo
