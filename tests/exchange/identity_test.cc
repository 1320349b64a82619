#include "exchange/identity.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace ferlo {
namespace {

TEST(IdentityTest, HostIsTheExtensionIdentifierLessEmptyComponentsAndTheLast) {
  const std::pair<std::string, std::string_view> cases[] = {
      {"com.example.Host.FinderSync", "com.example.Host"}, {"..com..example...Host..Ext..", "com.example.Host"},
      {" . a.b", " . a"} /* blanks make components */, {".a", ""}, {"abc", ""}};
  for (const auto& [extension, host] : cases) EXPECT_EQ(deriveHostBundleIdentifier(extension), host) << extension;
  EXPECT_EQ(deriveHostBundleIdentifier(std::nullopt), defaultHostBundleIdentifier());
}

TEST(IdentityTest, AppGroupIsNonEmptyInfoTextExactlyElseTheDefault) {
  for (const std::optional<InfoValue>& value :
       {std::optional<InfoValue>(), std::optional(InfoValue::makeText("")), std::optional(InfoValue::makeNumber(42))}) {
    EXPECT_EQ(deriveAppGroupIdentifier(value), defaultAppGroupIdentifier());
  }
  EXPECT_EQ(deriveAppGroupIdentifier(InfoValue::makeText(" blanks.kept ")), " blanks.kept ");
}

}  // namespace
}  // namespace ferlo
