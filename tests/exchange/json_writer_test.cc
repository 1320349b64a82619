// The writer's byte forms; the structure it writes is checked through the
// two encoders' exact bytes (tool_request_test, rule_manifest_test) and the
// program's documents (tests/tools), the replacement rule in tests/base.
#include "exchange/json_writer.h"

#include <gtest/gtest.h>

#include <optional>

namespace ferlo {
namespace {

using namespace std::string_view_literals;

TEST(JsonStringTest, EscapesExactlyItsBytesAndRefusesOrRepairsInvalidUtf8) {
  const struct {
    bool replace;
    std::string_view input;
    std::optional<std::string_view> written;  // none: refused
  } cases[] = {
      // Every control character has its one escape; DEL, U+2028 and other
      // non-ASCII text stay raw.
      {false, "a/\"\\\\/\b\f\n\r\t\v\0\x1f\x7f\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80"sv,
       R"("a\/\"\\\\\/\b\f\n\r\t\u000b\u0000\u001f)" "\x7f\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\""},
      {false, "/x\xE2\x82", std::nullopt},
      {true, "/x\xE2\x82\xED\xA0\x80", "\"\\/x\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) {
    std::string out = "kept";
    EXPECT_EQ(appendJsonString(out, c.input, {.replaceInvalidUtf8 = c.replace}), c.written.has_value()) << c.input;
    EXPECT_EQ(out, "kept" + std::string(c.written.value_or(""))) << c.input << ": a refused string appends nothing";
  }
  // A refusing writer gives no text at all, for a value or a member name.
  for (const bool asKey : {false, true}) {
    JsonWriter writer;
    writer.beginObject(), writer.key(asKey ? "\xC3" : "fine"), writer.string(asKey ? "fine" : "\xC3"), writer.endObject();
    EXPECT_FALSE(writer.ok() || writer.finish());
  }
}

// Empty containers stay on their line; every other value gets its own, two
// spaces deeper per level; "/" and DEL as the program writes them.
TEST(JsonWriterTest, ProgramStyleCompactAndPretty) {
  const auto write = [](bool pretty) {
    JsonWriter w({.style = JsonStyle::program, .pretty = pretty});
    w.beginObject(), w.key("a/\x7f"), w.beginArray(), w.integer(-1), w.beginObject(), w.endObject(), w.beginArray();
    w.endArray(), w.number(2.5), w.endArray(), w.key("b"), w.beginObject(), w.key("c"), w.null(), w.endObject();
    return w.endObject(), *w.finish();
  };
  EXPECT_EQ(write(false), R"({"a/\u007f":[-1,{},[],2.5],"b":{"c":null}})");
  EXPECT_EQ(write(true), "{\n  \"a/\\u007f\": [\n    -1,\n    {},\n    [],\n    2.5\n  ],\n  \"b\": {\n    \"c\": null\n  }\n}");
}

}  // namespace
}  // namespace ferlo
