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
		<key>NSStringLocalizedFormatKey</key>
		<string>%#@days@</string>
		<key>days</key>
		<dict>
			<key>NSStringFormatSpecTypeKey</key>
			<string>NSStringPluralRuleType</string>
			<key>NSStringFormatValueTypeKey</key>
			<string>lld</string>
			<key>one</key>
			<string>%lld day</string>
			<key>other</key>
			<string>%lld days</string>
		</dict>
	</dict>
</dict>
</plist>
)";

TEST(StringsdictParse, ReadsTheUsualShape) {
  const StringsdictParseResult result = parseStringsdictFile(kDaysTable);
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  ASSERT_EQ(result.table->size(), 1u);
  const StringsdictEntry& entry = result.table->at("finder.expiry.days %lld");
  EXPECT_EQ(entry.format, "%#@days@");
  ASSERT_EQ(entry.variables.size(), 1u);
  const StringsdictVariable& days = entry.variables.at("days");
  EXPECT_EQ(days.specType, "NSStringPluralRuleType");
  EXPECT_EQ(days.valueType, "lld");
  EXPECT_EQ(days.forms.size(), 2u);
  EXPECT_EQ(days.forms.at("one"), "%lld day");
  EXPECT_EQ(days.forms.at("other"), "%lld days");
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
        FormCase{"CommentInsideString", tableWithVariableBody("<key>one</key><string>a<!-- x -->b</string>"), "one", "ab"},
        FormCase{"WhitespaceKept", tableWithVariableBody("<key>one</key><string>  %lld\n day </string>"), "one", "  %lld\n day "},
        FormCase{"EmptyElementIsEmptyString", tableWithVariableBody("<key>zero</key><string/>"), "zero", ""},
        FormCase{"KeyWithEntity", tableWithVariableBody("<key>o&#x6E;e</key><string>x</string>"), "one", "x"},
        FormCase{"LastDuplicateWins", tableWithVariableBody("<key>one</key><string>a</string><key>one</key><string>b</string>"),
                 "one", "b"},
        FormCase{"OtherTypesSkipped",
                 tableWithVariableBody("<key>n</key><integer>3</integer><key>t</key><true/><key>f</key><false></false>"
                                       "<key>a</key><array><string>x</string><dict><key>q</key><string>y</string></dict></array>"
                                       "<key>d</key><data>AAEC</data><key>r</key><real>1.5</real><key>w</key><date>2024-01-01T00:00:00Z</date>"
                                       "<key>other</key><string>kept</string>"),
                 "other", "kept"},
        FormCase{"AttributesWithAngleBrackets", "<?xml version='1.0'?><plist version=\"1>0\" x = 'a>b'><dict><key>k</key><dict>"
                 "<key>v</key><dict><key>few</key><string>f</string></dict></dict></dict></plist>", "few", "f"},
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

TEST(StringsdictParse, EmptyDictionaryIsAnEmptyTable) {
  const StringsdictParseResult result = parseStringsdictFile("\xEF\xBB\xBF<plist version=\"1.0\"><dict/></plist>\n<!-- end -->\n");
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  EXPECT_TRUE(result.table->empty());
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
        RejectedCase{"OnlyProlog", "<?xml version=\"1.0\"?>\n", 2, "no <plist>"},
        RejectedCase{"NotXml", "\"k\" = \"v\";", 1, "text outside"},
        RejectedCase{"RootNotPlist", "<dict></dict>", 1, "not <plist>"},
        RejectedCase{"RootValueNotDict", "<plist><array/></plist>", 1, "not a dictionary"},
        RejectedCase{"EmptyPlist", "<plist/>", 1, "empty <plist>"},
        RejectedCase{"TwoValuesInPlist", "<plist><dict/><dict/></plist>", 1, "more than one value"},
        RejectedCase{"SecondRoot", "<plist><dict/></plist><plist><dict/></plist>", 1, "second root"},
        RejectedCase{"Unclosed", "<plist><dict>\n<key>a</key><string>b</string>\n", 3, "missing </dict>"},
        RejectedCase{"MismatchedEnd", "<plist><dict>\n<key>a</string></dict></plist>", 2, "</key> belongs"},
        RejectedCase{"EndWithoutStart", "<plist><dict/></plist></dict>", 1, "without a start tag"},
        RejectedCase{"KeyWithoutValue", "<plist><dict><key>a</key></dict></plist>", 1, "<key> without a value"},
        RejectedCase{"TwoKeysInARow", "<plist><dict><key>a</key><key>b</key><string/></dict></plist>", 1, "<key> without a value"},
        RejectedCase{"ValueWithoutKey", "<plist><dict>\n<string>a</string></dict></plist>", 2, "without a <key>"},
        RejectedCase{"KeyInArray", "<plist><array><key>a</key></array></plist>", 1, "<key> inside an <array>"},
        RejectedCase{"ElementInString", "<plist><dict><key>a</key><string><b/></string></dict></plist>", 1, "unknown element <b>"},
        RejectedCase{"DictInString", "<plist><dict><key>a</key><string><dict/></string></dict></plist>", 1, "<dict> inside <string>"},
        RejectedCase{"UnknownElement", "<plist><dict><key>a</key><blob/></dict></plist>", 1, "unknown element <blob>"},
        RejectedCase{"TextInDict", "<plist><dict>\n\nhello<key>a</key><string/></dict></plist>", 3, "text outside"},
        RejectedCase{"TextInTrue", "<plist><dict><key>a</key><true>yes</true></dict></plist>", 1, "text outside"},
        RejectedCase{"UnknownEntity", "<plist><dict><key>a&nbsp;</key><string/></dict></plist>", 1, "&nbsp;"},
        RejectedCase{"BareAmpersand", "<plist><dict><key>a & b</key><string/></dict></plist>", 1, "'&'"},
        RejectedCase{"ReferenceToNul", "<plist><dict><key>&#0;</key><string/></dict></plist>", 1, "&#0;"},
        RejectedCase{"ReferenceToSurrogate", "<plist><dict><key>&#xD800;</key><string/></dict></plist>", 1, "&#xD800;"},
        RejectedCase{"ReferenceTooLarge", "<plist><dict><key>&#x110000;</key><string/></dict></plist>", 1, "&#x110000;"},
        RejectedCase{"ReferenceHugeDecimal", "<plist><dict><key>&#99999999;</key><string/></dict></plist>", 1, "&#99999999;"},
        RejectedCase{"ReferenceUpperCaseX", "<plist><dict><key>&#X41;</key><string/></dict></plist>", 1, "&#X41;"},
        RejectedCase{"ReferenceNotDigits", "<plist><dict><key>&#x;</key><string/></dict></plist>", 1, "&#x;"},
        RejectedCase{"UnterminatedComment", "<plist><dict/></plist>\n<!-- ", 2, "unterminated comment"},
        RejectedCase{"UnterminatedCdata", "<plist><dict><key><![CDATA[a</key>", 1, "unterminated CDATA"},
        RejectedCase{"UnterminatedProcessingInstruction", "<?xml version=\"1.0\"", 1, "unterminated processing"},
        RejectedCase{"UnterminatedDoctype", "<!DOCTYPE plist \"a>", 1, "unterminated DOCTYPE"},
        RejectedCase{"DoctypeInsideRoot", "<plist><!DOCTYPE x><dict/></plist>", 1, "DOCTYPE inside"},
        RejectedCase{"UnterminatedTag", "<plist><dict", 1, "unterminated <dict> tag"},
        RejectedCase{"UnquotedAttribute", "<plist version=1.0><dict/></plist>", 1, "without quotes"},
        RejectedCase{"AttributeWithoutValue", "<plist version><dict/></plist>", 1, "without '='"},
        RejectedCase{"LessThanAlone", "<plist>< dict/></plist>", 1, "starts no element"},
        RejectedCase{"OtherDeclaration", "<!ENTITY x \"y\"><plist><dict/></plist>", 1, "markup declaration"},
        RejectedCase{"InvalidUtf8", "<plist><dict><key>\xFF</key><string/></dict></plist>", 1, "invalid UTF-8"},
        RejectedCase{"NestedTooDeeply", nested(300), 1, "nested too deeply"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return std::string(info.param.name); });

TEST(StringsdictParse, DeepButBoundedNestingIsSkipped) {
  const StringsdictParseResult result = parseStringsdictFile(nested(200));
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  EXPECT_TRUE(result.table->empty());
}

// Large hostile inputs must finish (no clock: a hang shows as a timeout).
TEST(StringsdictParse, LargeInputsStayLinear) {
  std::string manyOpen = "<plist><dict><key>k</key>";
  for (int i = 0; i < 200000; ++i) manyOpen += "<array>";
  EXPECT_FALSE(parseStringsdictFile(manyOpen).table.has_value());

  std::string references = "<plist><dict><key>";
  for (int i = 0; i < 200000; ++i) references += "&amp;";
  references += "</key><string/></dict></plist>";
  const StringsdictParseResult result = parseStringsdictFile(references);
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);

  std::string ampersands = "<plist><dict><key>";
  for (int i = 0; i < 200000; ++i) ampersands += "&#";
  EXPECT_FALSE(parseStringsdictFile(ampersands + ";</key>").table.has_value());
  EXPECT_FALSE(parseStringsdictFile("<!--" + std::string(1 << 20, '-')).table.has_value());
}

}  // namespace
}  // namespace ferlo
