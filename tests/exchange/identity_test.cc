#include "exchange/identity.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "exchange/shared_container.h"
#include "platform/fake/fake_platform.h"

namespace ferlo {
namespace {

struct HostCase {
  const char* name;
  std::string_view extensionIdentifier;
  std::string_view host;
};

void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name << ": \"" << c.extensionIdentifier << "\""; }

class HostBundleIdentifierTest : public testing::TestWithParam<HostCase> {};

TEST_P(HostBundleIdentifierTest, DropsEmptyComponentsAndTheLast) {
  EXPECT_EQ(deriveHostBundleIdentifier(std::string(GetParam().extensionIdentifier)), GetParam().host);
}

INSTANTIATE_TEST_SUITE_P(Table, HostBundleIdentifierTest,
                         testing::Values(HostCase{"ThreeComponents", "a.b.c", "a.b"},
                                         HostCase{"LeadingDot", ".a", ""},
                                         HostCase{"OneComponent", "abc", ""},
                                         HostCase{"Realistic", "com.example.Host.FinderSync", "com.example.Host"},
                                         HostCase{"DotsEverywhere", "..com..example...Host..Ext..", "com.example.Host"},
                                         HostCase{"BlanksAreComponents", " . a.b", " . a"}),
                         [](const testing::TestParamInfo<HostCase>& info) { return std::string(info.param.name); });

struct GroupCase {
  const char* name;
  std::optional<InfoValue> value;
  std::optional<std::string_view> expected;  // none: the default
};

void PrintTo(const GroupCase& c, std::ostream* os) { *os << c.name; }

class AppGroupIdentifierTest : public testing::TestWithParam<GroupCase> {};

TEST_P(AppGroupIdentifierTest, TakesNonEmptyTextExactly) {
  const std::string derived = deriveAppGroupIdentifier(GetParam().value);
  EXPECT_EQ(derived, GetParam().expected.value_or(defaultAppGroupIdentifier()));
}

InfoValue listOf(std::string text) {
  InfoValue list;
  list.kind = InfoValue::Kind::list;
  list.list.push_back(InfoValue::makeText(std::move(text)));
  return list;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AppGroupIdentifierTest,
    testing::Values(GroupCase{"Absent", std::nullopt, std::nullopt},
                    GroupCase{"EmptyText", InfoValue::makeText(""), std::nullopt},
                    GroupCase{"Number", InfoValue::makeNumber(42), std::nullopt},
                    GroupCase{"ListOfText", listOf("group.a"), std::nullopt},
                    GroupCase{"Text", InfoValue::makeText("ABCDE12345.com.other"), "ABCDE12345.com.other"},
                    GroupCase{"BlanksKept", InfoValue::makeText(" blanks "), " blanks "}),
    [](const testing::TestParamInfo<GroupCase>& info) { return std::string(info.param.name); });

TEST(IdentityTest, ReadsThePlatformOncePerValue) {
  FakePlatform platform;
  platform.bundleId = "com.example.Host.FinderSync";
  platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.x"));
  Identity identity(platform);
  EXPECT_EQ(platform.bundleIdentifierReads(), 0) << "nothing is computed before first use";
  EXPECT_EQ(identity.hostBundleIdentifier(), "com.example.Host");
  EXPECT_EQ(identity.appGroupIdentifier(), "group.x");
  EXPECT_EQ(identity.appGroupIdentifier(), "group.x");
  // Later changes to the bundle are not seen by this process's identity.
  platform.bundleId = "other.Thing";
  EXPECT_EQ(identity.hostBundleIdentifier(), "com.example.Host");
  EXPECT_EQ(platform.bundleIdentifierReads(), 1);
  EXPECT_EQ(platform.infoDictionaryReads(), 1);
}

TEST(IdentityTest, NoBundleIdentifierGivesTheDefaultHost) {
  FakePlatform platform;
  platform.bundleId.reset();
  Identity identity(platform);
  EXPECT_EQ(identity.hostBundleIdentifier(), defaultHostBundleIdentifier());
  EXPECT_EQ(identity.appGroupIdentifier(), defaultAppGroupIdentifier());
  EXPECT_EQ(deriveHostBundleIdentifier(std::nullopt), defaultHostBundleIdentifier());
}

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
    EXPECT_EQ(platform.bundleIdentifierReads(), 1);
    EXPECT_EQ(platform.infoDictionaryReads(), 1);
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_EQ(hosts[t], hosts[0]) << "every caller sees the one stored value";
      EXPECT_EQ(*hosts[t], "com.example.Host");
      EXPECT_EQ(groups[t], "group.concurrent");
    }
  }
}

TEST(SharedContainerTest, AskedAfreshForTheAppGroupEveryTime) {
  FakePlatform platform;
  platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.c"));
  Identity identity(platform);
  EXPECT_EQ(sharedContainerURL(platform, identity), std::nullopt);
  // A container that appears later is found at the next lookup.
  platform.containers.emplace("group.c", FileURL::fileURLWithPath("/C", true));
  const std::optional<FileURL> container = sharedContainerURL(platform, identity);
  ASSERT_TRUE(container.has_value());
  EXPECT_EQ(container->appendingPathComponent(kRulesFileName).path(), "/C/rules.json");
  EXPECT_EQ(container->appendingPathComponent(kRequestFileName).path(), "/C/tool-request.json");
  EXPECT_EQ(platform.containerLookups(), 2);
}

}  // namespace
}  // namespace ferlo
