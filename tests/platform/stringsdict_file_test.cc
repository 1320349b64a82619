#include "platform/posix/stringsdict_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

// The shipped table is in the shape Xcode writes.
TEST(StringsdictParse, ReadsTheUsualShape) {
  const auto bytes = testing::fileBytes(std::filesystem::path(__FILE__).parent_path() /
                                        "../../resources/en.lproj/Localizable.stringsdict");
  ASSERT_TRUE(bytes.has_value());
  const StringsdictParseResult result = parseStringsdictFile(*bytes);
  ASSERT_TRUE(result.table.has_value()) << describe(result.diagnostic);
  const StringsdictEntry& entry = result.table->at("finder.action.merge %lld");
  EXPECT_EQ(entry.format, "%#@folders@");
  ASSERT_EQ(entry.variables.size(), 1u);
  const StringsdictVariable& folders = entry.variables.at("folders");
  EXPECT_EQ(folders.specType, "NSStringPluralRuleType");
  EXPECT_EQ(folders.valueType, "lld");
  EXPECT_EQ(folders.forms, (decltype(folders.forms){{"one", "Merge %lld Folder"}, {"other", "Merge %lld Folders"}}));
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
  EXPECT_EQ(describe(parseStringsdictFile("<plist><array/></plist>").diagnostic), "the property list is not a dictionary");
  EXPECT_EQ(describe(parseStringsdictFile("<plist><dict>").diagnostic), "libplist cannot read it as an XML property list");
}

}  // namespace
}  // namespace ferlo
