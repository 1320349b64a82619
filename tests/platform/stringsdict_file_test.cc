#include "platform/posix/stringsdict_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

// Values that are no entry are skipped; an entry without a format is kept,
// for the localizer to pass over.
TEST(StringsdictParse, KeepsEntriesThatLackPartsAndIgnoresNonDictionaryEntries) {
  const StringsdictParseResult result = parseStringsdictFile(
      "<plist><dict><key>noFormat</key><dict><key>v</key><dict><key>other</key><string>o</string></dict></dict>"
      "<key>plain</key><string>not an entry</string><key>list</key><array/></dict></plist>");
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  EXPECT_EQ(result.table->size(), 1u);
  EXPECT_FALSE(result.table->at("noFormat").format.has_value());
  EXPECT_EQ(result.table->at("noFormat").variables.at("v").forms.at("other"), "o");
  // What is no dictionary is no table, for the property-list reader's reason.
  for (const auto& [document, reason] : {std::pair<std::string, std::string>{"<plist><array/></plist>",
                                                                            "the property list is not a dictionary"},
                                        {"<plist><dict>", "libplist cannot read it as an XML property list"}}) {
    EXPECT_EQ(describe(parseStringsdictFile(document).diagnostic), reason) << document;
  }
}

}  // namespace
}  // namespace ferlo
