// The writer's byte forms; the structure it writes is checked through the
// two encoders' exact bytes (tool_request_test, rule_manifest_test) and the
// program's documents (tests/tools).
#include "exchange/json_writer.h"

#include <gtest/gtest.h>

#include <optional>

namespace ferlo {
namespace {

using namespace std::string_view_literals;

#define FFFD "\xEF\xBF\xBD"

TEST(JsonStringTest, EachStyleEscapesExactlyItsBytesAndRefusesOrRepairsInvalidUtf8) {
  constexpr JsonOptions kExchange, kReplacing{.replaceInvalidUtf8 = true};
  constexpr JsonOptions kProgram{.style = JsonStyle::program, .replaceInvalidUtf8 = true};
  const struct {
    const char* name;
    JsonOptions options;
    std::string_view input;
    std::optional<std::string_view> written;  // none: refused
  } cases[] = {
      // Every control character has its one escape; DEL, U+2028 and other
      // non-ASCII text stay raw.
      {"ExchangeEscapes", kExchange, "a/\"\\\\/\b\f\n\r\t\v\0\x1f\x7f\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80"sv,
       R"("a\/\"\\\\\/\b\f\n\r\t\u000b\u0000\u001f)" "\x7f\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\""},
      {"ProgramEscapes", kProgram, "a/\"\\\x1f\x7f\xC3\xA9\xE2\x80\xA8"sv, R"("a/\"\\\u001f\u007f)" "\xC3\xA9\xE2\x80\xA8\""},
      {"TruncatedRefused", kExchange, "/x\xE2\x82", std::nullopt},
      {"TruncatedReplacedOnce", kReplacing, "/x\xE2\x82", "\"\\/x" FFFD "\""},
      {"SurrogateRefused", kExchange, "\xED\xA0\x80", std::nullopt},
      {"SurrogateReplacedPerByte", kReplacing, "\xED\xA0\x80\n", "\"" FFFD FFFD FFFD "\\n\""},
      {"ProgramRepairs", kProgram, "/\xC3\x7f\xFF", "\"/" FFFD "\\u007f" FFFD "\""},
  };
  for (const auto& c : cases) {
    std::string out = "kept";
    EXPECT_EQ(appendJsonString(out, c.input, c.options), c.written.has_value()) << c.name;
    EXPECT_EQ(out, "kept" + std::string(c.written.value_or(""))) << c.name << ": a refused string appends nothing";
  }
  // A refusing writer gives no text at all, for a value or a member name.
  for (const bool asKey : {false, true}) {
    JsonWriter writer;
    writer.beginObject(), writer.key(asKey ? "\xC3" : "fine"), writer.string(asKey ? "fine" : "\xC3"), writer.endObject();
    EXPECT_FALSE(writer.ok() || writer.finish());
  }
}

// Empty containers stay on their line; every other value gets its own, two
// spaces deeper per level, and only the pretty form has ": ".
TEST(JsonWriterTest, CompactAndPrettyLayout) {
  const auto write = [](JsonOptions options) {
    JsonWriter w(options);
    w.beginObject(), w.key("a"), w.beginArray(), w.integer(-1), w.beginObject(), w.endObject(), w.beginArray();
    w.endArray(), w.unsignedInteger(18446744073709551615u), w.number(2.5), w.number(1e300), w.endArray();
    w.key("b"), w.beginObject(), w.key("c"), w.null(), w.endObject(), w.key("d"), w.boolean(false), w.endObject();
    return *w.finish();
  };
  EXPECT_EQ(write({.style = JsonStyle::program}),
            R"({"a":[-1,{},[],18446744073709551615,2.5,1e+300],"b":{"c":null},"d":false})");
  EXPECT_EQ(write({.style = JsonStyle::program, .pretty = true}),
            "{\n  \"a\": [\n    -1,\n    {},\n    [],\n    18446744073709551615,\n    2.5,\n    1e+300\n  ],\n"
            "  \"b\": {\n    \"c\": null\n  },\n  \"d\": false\n}");
}

}  // namespace
}  // namespace ferlo
