#include "platform/posix/stringsdict_file.h"

#include <gtest/gtest.h>

#include <string>

namespace ferlo {
namespace {

// The shape Xcode writes, with one count key.
const char* const kDaysTable = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>finder.expiry.days %lld</key>
	<dict>
		<key>NSStringLocalizedFormatKey</key><string>%#@days@</string>
		<key>days</key>
		<dict>
			<key>NSStringFormatSpecTypeKey</key><string>NSStringPluralRuleType</string>
			<key>NSStringFormatValueTypeKey</key><string>lld</string>
			<key>one</key><string>%lld day</string>
			<key>other</key><string>%lld days</string>
		</dict>
	</dict>
</dict>
</plist>
)";

TEST(StringsdictParse, ReadsTheUsualShape) {
  const StringsdictParseResult result = parseStringsdictFile(kDaysTable);
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  const StringsdictEntry& entry = result.table->at("finder.expiry.days %lld");
  EXPECT_EQ(entry.format, "%#@days@");
  ASSERT_EQ(entry.variables.size(), 1u);
  const StringsdictVariable& days = entry.variables.at("days");
  EXPECT_EQ(days.specType, "NSStringPluralRuleType");
  EXPECT_EQ(days.valueType, "lld");
  EXPECT_EQ(days.forms, (decltype(days.forms){{"one", "%lld day"}, {"other", "%lld days"}}));
}

// Wraps the body of one entry's variable dictionary into a whole table.
std::string tableWithVariableBody(const std::string& body) {
  return "<plist><dict><key>k</key><dict><key>NSStringLocalizedFormatKey</key><string>%#@v@</string>"
         "<key>v</key><dict>" + body + "</dict></dict></dict></plist>";
}

struct FormCase {
  const char* name;
  std::string document;
  const char* category;
  std::string expected;
};
std::ostream& operator<<(std::ostream& out, const FormCase& c) { return out << c.name; }

class StringsdictFormTest : public testing::TestWithParam<FormCase> {};

TEST_P(StringsdictFormTest, DecodesText) {
  const FormCase& c = GetParam();
  const StringsdictParseResult result = parseStringsdictFile(c.document);
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  const auto& forms = result.table->at("k").variables.at("v").forms;
  ASSERT_EQ(forms.count(c.category), 1u);
  EXPECT_EQ(forms.at(c.category), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StringsdictFormTest,
    testing::Values(
        FormCase{"NamedEntities", tableWithVariableBody("<key>one</key><string>&lt;&amp;&gt;&quot;&apos;</string>"), "one",
                 "<&>\"'"},
        FormCase{"CharacterReferences", tableWithVariableBody("<key>one</key><string>&#65;&#x20AC;&#128512;&#x1F600;</string>"),
                 "one", "A€\U0001F600\U0001F600"},
        FormCase{"Cdata", tableWithVariableBody("<key>one</key><string>a<![CDATA[<b>&amp;]]>c</string>"), "one", "a<b>&amp;c"},
        FormCase{"OtherTypesSkipped",
                 tableWithVariableBody("<key>n</key><integer>3</integer><key>t</key><true/><key>f</key><false></false>"
                                       "<key>a</key><array><string>x</string><dict><key>q</key><string>y</string></dict></array>"
                                       "<key>d</key><data>AAEC</data><key>r</key><real>1.5</real><key>w</key><date>2024-01-01T00:00:00Z</date>"
                                       "<key>other</key><string>kept</string>"),
                 "other", "kept"},
        FormCase{"DoctypeWithInternalSubset",
                 "<!DOCTYPE plist [ <!ELEMENT plist ANY> <!-- ] > --> ]>\n" + tableWithVariableBody("<key>many</key><string>m</string>"),
                 "many", "m"},
        FormCase{"Utf16BigEndian",
                 [] {
                   const std::string ascii = tableWithVariableBody("<key>one</key><string>x</string>");
                   std::string out("\xFE\xFF", 2);
                   for (const char c : ascii) out += std::string{'\0', c};
                   return out;
                 }(),
                 "one", "x"}),
    [](const testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST(StringsdictParse, KeepsEntriesThatLackPartsAndIgnoresNonDictionaryEntries) {
  const StringsdictParseResult result = parseStringsdictFile(
      "<plist><dict>"
      "<key>noFormat</key><dict><key>v</key><dict><key>other</key><string>o</string></dict></dict>"
      "<key>plain</key><string>not an entry</string>"
      "<key>list</key><array/>"
      "</dict></plist>");
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  EXPECT_EQ(result.table->size(), 1u);
  EXPECT_FALSE(result.table->at("noFormat").format.has_value());
  EXPECT_EQ(result.table->at("noFormat").variables.at("v").forms.at("other"), "o");
}

struct RejectedCase {
  const char* name;
  std::string document;
  std::size_t line;
  const char* reasonContains;
};
std::ostream& operator<<(std::ostream& out, const RejectedCase& c) { return out << c.name; }

class StringsdictRejectedTest : public testing::TestWithParam<RejectedCase> {};

TEST_P(StringsdictRejectedTest, YieldsNoTableAndSaysWhere) {
  const RejectedCase& c = GetParam();
  const StringsdictParseResult result = parseStringsdictFile(c.document);
  EXPECT_FALSE(result.table.has_value());
  EXPECT_EQ(result.diagnostic.line, c.line) << describe(result.diagnostic);
  EXPECT_NE(result.diagnostic.reason.find(c.reasonContains), std::string::npos) << describe(result.diagnostic);
}

std::string nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) {
    open += "<array>";
    close += "</array>";
  }
  return "<plist><dict><key>k</key>" + open + close + "</dict></plist>";
}

INSTANTIATE_TEST_SUITE_P(
    Documents, StringsdictRejectedTest,
    testing::Values(
        RejectedCase{"Empty", "", 1, "no <plist>"},
        RejectedCase{"NotXml", "\"k\" = \"v\";", 1, "text outside"},
        RejectedCase{"RootValueNotDict", "<plist><array/></plist>", 1, "not a dictionary"},
        RejectedCase{"Unclosed", "<plist><dict>\n<key>a</key><string>b</string>\n", 3, "missing </dict>"},
        RejectedCase{"MismatchedEnd", "<plist><dict>\n<key>a</string></dict></plist>", 2, "</key> belongs"},
        RejectedCase{"KeyWithoutValue", "<plist><dict><key>a</key></dict></plist>", 1, "<key> without a value"},
        RejectedCase{"UnknownElement", "<plist><dict><key>a</key><blob/></dict></plist>", 1, "unknown element <blob>"},
        RejectedCase{"UnknownEntity", "<plist><dict><key>a&nbsp;</key><string/></dict></plist>", 1, "&nbsp;"},
        RejectedCase{"ReferenceToNul", "<plist><dict><key>&#0;</key><string/></dict></plist>", 1, "&#0;"},
        RejectedCase{"ReferenceTooLarge", "<plist><dict><key>&#x110000;</key><string/></dict></plist>", 1, "&#x110000;"},
        RejectedCase{"UnterminatedComment", "<plist><dict/></plist>\n<!-- ", 2, "unterminated comment"},
        RejectedCase{"UnterminatedDoctype", "<!DOCTYPE plist \"a>", 1, "unterminated DOCTYPE"},
        RejectedCase{"UnterminatedTag", "<plist><dict", 1, "unterminated <dict> tag"},
        RejectedCase{"InvalidUtf8", "<plist><dict><key>\xFF</key><string/></dict></plist>", 1, "invalid UTF-8"},
        RejectedCase{"NestedTooDeeply", nested(300), 1, "nested too deeply"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return std::string(info.param.name); });

TEST(StringsdictParse, DeepButBoundedNestingAndEmptyDictionaryGiveEmptyTables) {
  for (const std::string& text : {nested(200), std::string("\xEF\xBB\xBF<plist><dict/></plist>\n<!-- end -->\n")}) {
    const StringsdictParseResult result = parseStringsdictFile(text);
    ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
    EXPECT_TRUE(result.table->empty());
  }
}

// Large hostile inputs must finish (no clock: a hang shows as a timeout).
TEST(StringsdictParse, LargeInputsStayLinear) {
  std::string manyOpen = "<plist><dict><key>k</key>";
  for (int i = 0; i < 200000; ++i) manyOpen += "<array>";
  EXPECT_FALSE(parseStringsdictFile(manyOpen).table.has_value());

  std::string ampersands = "<plist><dict><key>";
  for (int i = 0; i < 200000; ++i) ampersands += "&#";
  EXPECT_FALSE(parseStringsdictFile(ampersands + ";</key>").table.has_value());
  EXPECT_FALSE(parseStringsdictFile("<!--" + std::string(1 << 20, '-')).table.has_value());
}

}  // namespace
}  // namespace ferlo
