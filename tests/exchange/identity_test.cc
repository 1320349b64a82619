#include "exchange/identity.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "exchange/shared_container.h"
#include "platform/fake/fake_platform.h"

namespace ferlo {
namespace {

TEST(IdentityTest, HostIsTheExtensionIdentifierLessEmptyComponentsAndTheLast) {
  const std::pair<std::string, std::string_view> cases[] = {
      {"com.example.Host.FinderSync", "com.example.Host"},
      {"..com..example...Host..Ext..", "com.example.Host"},
      {" . a.b", " . a"},  // blanks make components
      {".a", ""},
      {"abc", ""},
  };
  for (const auto& [extension, host] : cases) EXPECT_EQ(deriveHostBundleIdentifier(extension), host) << extension;
  EXPECT_EQ(deriveHostBundleIdentifier(std::nullopt), defaultHostBundleIdentifier());
}

TEST(IdentityTest, AppGroupIsNonEmptyInfoTextExactlyElseTheDefault) {
  InfoValue list;
  list.kind = InfoValue::Kind::list;
  list.list.push_back(InfoValue::makeText("group.a"));
  const std::pair<std::optional<InfoValue>, std::string_view> cases[] = {
      {std::nullopt, defaultAppGroupIdentifier()},
      {InfoValue::makeText(""), defaultAppGroupIdentifier()},
      {InfoValue::makeNumber(42), defaultAppGroupIdentifier()},
      {list, defaultAppGroupIdentifier()},
      {InfoValue::makeText(" blanks.kept "), " blanks.kept "},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(deriveAppGroupIdentifier(value), expected);
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
    std::vector<const std::string*> hosts(kThreads);
    std::vector<std::string> groups(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        // Half the threads ask for the group first, so both values race.
        if (t % 2) groups[t] = identity.appGroupIdentifier();
        hosts[t] = &identity.hostBundleIdentifier();
        if (t % 2 == 0) groups[t] = identity.appGroupIdentifier();
      });
    }
    for (std::thread& thread : threads) thread.join();
    platform.bundleId = "other.Thing";
    EXPECT_EQ(identity.hostBundleIdentifier(), "com.example.Host");
    EXPECT_EQ(platform.bundleIdentifierReads(), 1);
    EXPECT_EQ(platform.infoDictionaryReads(), 1);
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_EQ(hosts[t], hosts[0]) << "every caller sees the one stored value";
      EXPECT_EQ(groups[t], "group.concurrent");
    }
  }
}

TEST(IdentityTest, ContainerIsAskedAfreshForTheAppGroup) {
  FakePlatform platform;
  platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.c"));
  Identity identity(platform);
  EXPECT_EQ(sharedContainerURL(platform, identity), std::nullopt);
  // A container that appears later is found at the next lookup.
  platform.containers.emplace("group.c", FileURL::fileURLWithPath("/C", true));
  EXPECT_EQ(sharedContainerURL(platform, identity), FileURL::fileURLWithPath("/C", true));
}

}  // namespace
}  // namespace ferlo
