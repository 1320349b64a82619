// The .strings and .stringsdict forms, byte for byte; that any bytes give a
// table of valid UTF-8 or a diagnostic is the fuzz targets'.
#include "platform/stand_in/strings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/stand_in/stringsdict_file.h"

namespace ferlo {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string utf16LittleEndian(std::u16string_view text) {
  std::string out("\xFF\xFE");
  for (const char16_t unit : text) out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return out;
}

TEST(StringsFile, ParsesEveryForm) {
  const struct { std::string bytes; Pairs expected; } cases[] = {
      {"/* head */\n\"a\" /* k */ = // v\n \"b\" /* ; */ ;// tail", {{"a", "b"}}},
      {R"("k" = "q\" b\\ n\n t\t r\r a\a b\b f\f v\v s\' ";)", {{"k", "q\" b\\ n\n t\t r\r a\a b\b f\f v\v s' "}}},
      {R"("k" = "\q\%\é";)", {{"k", "q%é"}}}, {R"("k" = "\101\0\60x\177";)", {{"k", std::string("A\0" "0x\x7F", 5)}}},
      {R"("k" = "\UD83D\UDE00!";)", {{"k", "\U0001F600!"}}}, {"\xEF\xBB\xBF\"k\" = \"v\";", {{"k", "v"}}},
      {utf16LittleEndian(u"/* c */\n\"k\" = \"T\u00e4g\U0001F600\";"), {{"k", "Täg\U0001F600"}}},
      {"key_1 = value.with-dots/and:colons$+;", {{"key_1", "value.with-dots/and:colons$+"}}},
      {R"("Keep"; "a" = "b"; "a" = "c";)", {{"Keep", "Keep"}, {"a", "c"}}},
      // The property-list forms a built bundle may hold (the binary form: every
      // table of the shipped bundle converted, in the doctor's tests).
      {" <plist><dict><key>k</key><string>v</string></dict></plist>", {{"k", "v"}}},
  };
  for (const auto& c : cases) {
    const Decoded<StringsTable> result = parseStringsFile(c.bytes);
    ASSERT_TRUE(result) << c.bytes << ": " << describe(result.error);
    EXPECT_EQ(Pairs(result->begin(), result->end()), c.expected) << c.bytes;
  }
}

// One bad entry discards the whole file; the diagnostic names its line.
TEST(StringsFile, RefusesAndSaysWhere) {
  const struct { std::string bytes; const char* where; const char* reason; } cases[] = {
      {"\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";", "line 2", "missing ';'"},
      {"\"a\" = \"b\";\n\"c\" = \"d;\n\n", "line 2", "unterminated string"}, {"\"a\" \"b\";", "line 1", "expected '='"},
      {"{ \"a\" = \"b\"; } \"c\" = \"d\";", "line 1", "after the closing '}'"},
      {"\"k\" = \"\\UD83D x\";", "line 1", "unpaired high surrogate"}, {"\n\"k\" = \"\\UDE00\";", "line 2", "unpaired low surrogate"},
      {"\"k\" = \"\\200\";", "line 1", "octal escape"}, {"\"a\" = \"b\";\n\"k\" = \"\xC3\x28\";", "line 2", "invalid UTF-8"},
      {std::string("\xFF\xFE\x22\x00\x6B", 5), "", "odd number of bytes"},
      {std::string("\x22\x00\x6B\x00\x22\x00", 6), "line 1", "expected '='"},  // UTF-16 needs its mark
      {std::string("bplist00\xD1\x01\x02", 11), "", "truncated"}, {"\"a\" = \"b\";\r\r\"c\" = \"d\"", "line 3", "missing ';'"},
      {"<plist><dict><key>k</key><true/></dict></plist>", "", "the value of \"k\" is not text"},
  };
  for (const auto& c : cases) {
    const Decoded<StringsTable> result = parseStringsFile(c.bytes);
    EXPECT_TRUE(!result && result.error.where == c.where && result.error.why.find(c.reason) != std::string::npos)
        << c.bytes << ": " << describe(result.error);
  }
}

// Inputs that make a careless parser quadratic or deep; a hang shows as the
// test's timeout.
TEST(StringsFile, LargeInputsStayLinear) {
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "\"k" + std::to_string(i) + "\" = \"v\";\n";
  EXPECT_EQ(parseStringsFile(many).value.value_or(StringsTable{}).size(), 100000u);
  // Escaped backslashes, an open comment of stars, open braces.
  for (const std::string& bytes : {"\"k\" = \"" + std::string(400000, '\\'), "/*" + std::string(1 << 20, '*'), std::string(1 << 16, '{')})
    EXPECT_FALSE(parseStringsFile(bytes)) << bytes.substr(0, 8);
}

// ---- .stringsdict ----

// Values that are no entry are skipped; an entry without a format is kept,
// for the localizer to pass over; what is no dictionary is no table, for the
// property-list reader's reason. (The shipped tables, in the shape Xcode
// writes, are read by the localizer's tests.)
TEST(StringsdictParse, ReadsTheUsualShapeKeepsPartialEntriesAndSkipsOtherValues) {
  const Decoded<StringsdictTable> result = parseStringsdictFile(
      "<plist><dict><key>noFormat</key><dict><key>v</key><dict><key>other</key><string>o</string></dict></dict>"
      "<key>plain</key><string>not an entry</string><key>list</key><array/></dict></plist>");
  ASSERT_TRUE(result && result->size() == 1u) << describe(result.error);
  EXPECT_FALSE(result->at("noFormat").format.has_value());
  EXPECT_EQ(result->at("noFormat").variables.at("v").forms.at("other"), "o");
  EXPECT_EQ(describe(parseStringsdictFile("<plist><array/></plist>").error), "the property list is not a dictionary");
  EXPECT_EQ(describe(parseStringsdictFile("<plist><dict>").error), "line 1: the XML ends before the end tag of a dictionary or array");
}

// Each entry's problems, as the lookup would meet them.
TEST(StringsdictProblems, NameEveryReferenceTheLookupCannotResolve) {
  const auto entry = [](std::string format, std::string type, std::string other) {
    StringsdictEntry e{std::move(format), {}};
    e.variables["n"] = {std::move(type), "lld", {{"one", "%lld thing"}, {"other", std::move(other)}}};
    if (e.variables["n"].forms["other"].empty()) e.variables["n"].forms.erase("other");
    return e;
  };
  const std::string plural(kStringsdictPluralRuleType);
  const std::pair<StringsdictEntry, std::vector<std::string>> cases[] = {
      {entry("%#@n@ and %% and %1$#@n@", plural, "%lld things"), {}},
      {entry("%#@n@", "NSStringWhatever", "x"), {"its format refers to variable \"n\" of type \"NSStringWhatever\", not \"NSStringPluralRuleType\""}},
      {entry("%#@n@", plural, ""), {"its format refers to variable \"n\", which has no \"other\" form"}},
      {entry("%#@m@, %#@n", plural, "%#@n@"),
       {"its format refers to \"%#@m@\", but the entry defines no variable \"m\"",
        "its format has \"%#@n\" without its closing '@', shown as written",
        "the \"other\" form of \"n\" refers to its own variable: \"%#@n@\" shows as written"}},
      {StringsdictEntry{}, {"has no NSStringLocalizedFormatKey text"}},
  };
  for (const auto& [e, problems] : cases) EXPECT_EQ(stringsdictEntryProblems(e), problems);
}

}  // namespace
}  // namespace ferlo
