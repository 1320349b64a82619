#include "exchange/identity.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

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

// Both values are read from the bundle once, also when first uses on many
// threads coincide, and never change afterwards.
TEST(IdentityTest, ConcurrentFirstUseComputesEachValueOnce) {
  for (int round = 0; round < 20; ++round) {
    FakePlatform platform;
    platform.bundleId = "com.example.Host.FinderSync";
    platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.concurrent"));
    Identity identity(platform);
    constexpr int kThreads = 16;
    std::latch start(kThreads);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        // Half the threads ask for the group first, so both values race.
        if (t % 2) (void)identity.appGroupIdentifier();
        (void)identity.hostBundleIdentifier();
        (void)identity.appGroupIdentifier();
      });
    }
    threads.clear();
    platform.bundleId = "other.Thing";
    EXPECT_EQ(identity.hostBundleIdentifier() + " " + identity.appGroupIdentifier(), "com.example.Host group.concurrent");
    EXPECT_EQ(std::pair(platform.bundleIdentifierReads(), platform.infoDictionaryReads()), std::pair(1, 1));
  }
}

}  // namespace
}  // namespace ferlo
