// The principal object: what its initialiser registers, its toolbar texts,
// and many Finder threads using one object while the process-wide values
// are computed for the first time.
#include <algorithm>
#include <latch>
#include <thread>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "extension/menu_builder.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using testing::CountingPlatform;
using testing::describe;
using testing::fileAt;
using testing::folderAt;
using testing::kRequestPath;
using testing::kRulesPath;
using testing::makeHealthy;

struct InitCase {
  const char* name;
  std::optional<std::string> userHome;
  std::string watched;  // URL text
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

class FinderSyncInitTest : public ::testing::TestWithParam<InitCase> {};

TEST_P(FinderSyncInitTest, RegistersExactlyTheHomeDirectoryAndReadsNothingElse) {
  CountingPlatform platform;
  makeHealthy(platform);
  platform.putFile(kRulesPath, R"({"rules":[]})");
  platform.images["BrandGlyph"] = ImageSize{16, 16};
  platform.realUserHome = GetParam().userHome;
  platform.setDirectoryURLs({folderAt("/stale/one"), folderAt("/stale/two")});
  ExtensionContext context(platform);

  FinderSync finderSync(context);

  auto urls = platform.directoryURLs();
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0].absoluteString(), GetParam().watched);
  EXPECT_TRUE(urls[0].hasDirectoryPath());
  EXPECT_EQ(platform.containerLookups(), 0);
  EXPECT_EQ(platform.bundleIdentifierReads(), 0);
  EXPECT_EQ(platform.infoDictionaryReads(), 0);
  EXPECT_EQ(platform.imageLookups.load(), 0);
  EXPECT_EQ(platform.selectionQueries.load(), 0);
  EXPECT_TRUE(platform.opens().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Homes, FinderSyncInitTest,
    ::testing::Values(InitCase{"UserEntry", "/Users/user", "file:///Users/user/"},
                      InitCase{"UserEntryWithSlash", "/Users/user/", "file:///Users/user/"},
                      InitCase{"UserEntryNeedsEscaping", "/Users/J\xC3\xB6rg Doe", "file:///Users/J%C3%B6rg%20Doe/"},
                      InitCase{"NoUserEntryFallsBackToPlatformHome", std::nullopt, "file:///Users/platform/"},
                      // An empty home field names no directory; taken as a
                      // path it would make the whole disk the watched folder.
                      InitCase{"EmptyHomeFieldFallsBackToPlatformHome", "", "file:///Users/platform/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FinderSyncTest, ToolbarTextsAreTheUntranslatedBrand) {
  FakePlatform platform;
  platform.strings["Ferlo"] = "Translated";
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  EXPECT_EQ(finderSync.toolbarItemName(), "Ferlo");
  EXPECT_EQ(finderSync.toolbarItemToolTip(), "Ferlo");
}

// ---- Concurrency ----

constexpr const char* kRules =
    R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"}],"watchedRoots":["\/w"]})";

void configureBusy(FakePlatform& platform) {
  makeHealthy(platform);
  platform.putFile(kRulesPath, kRules);
  platform.images["BrandGlyph"] = ImageSize{24, 16};
  platform.selection = std::vector{folderAt("/f/one"), folderAt("/f/two"), fileAt("/w/file")};
}

TEST(FinderSyncConcurrencyTest, ManyFinderThreadsOnOneObject) {
  // What one thread alone sees, on a platform of its own.
  FakePlatform quiet;
  configureBusy(quiet);
  ExtensionContext quietContext(quiet);
  const std::string expectedFull = describe(buildMenu(0, quietContext));
  ASSERT_NE(expectedFull.find("image=BrandGlyph@24x16"), std::string::npos);

  CountingPlatform platform;
  configureBusy(platform);
  ExtensionContext context(platform);
  FinderSync finderSync(context);

  const std::vector<std::string> validRequests = {
      R"({"action":"runRule","folders":["\/f\/one"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})",
      R"({"action":"flattenFolder","folders":["\/f\/one"]})",
      R"({"action":"mergeFolders","folders":["\/f\/one","\/f\/two"]})",
      R"({"action":"expireFiles","folders":[],"files":["\/w\/file"],"days":30})",
  };
  constexpr int kThreads = 12;
  constexpr int kRounds = 25;
  std::atomic<int> wrongMenus{0};
  std::atomic<int> commandsRun{0};
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();  // first uses of every once-value coincide
      for (int round = 0; round < kRounds; ++round) {
        std::uint64_t kind = static_cast<std::uint64_t>((t + round) % 4);
        Menu menu = finderSync.menuForMenuKind(kind);
        bool right = kind <= 1 ? describe(menu) == expectedFull : menu.items.empty();
        if (!right) ++wrongMenus;
        switch ((t + round) % 4) {
          case 0: finderSync.perform(Selector::runRule, Sender::withString("0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30")); break;
          case 1: finderSync.perform(Selector::runFlatten, Sender{}); break;
          case 2: finderSync.perform(Selector::runMergeSelected, Sender{}); break;
          case 3: finderSync.perform(Selector::setExpiry, Sender::withTag(30)); break;
        }
        ++commandsRun;
      }
    });
  }
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(wrongMenus.load(), 0);
  EXPECT_EQ(platform.imageLookups.load(), 1);
  EXPECT_EQ(platform.bundleIdentifierReads(), 1);
  EXPECT_EQ(platform.infoDictionaryReads(), 1);
  EXPECT_EQ(static_cast<int>(platform.opens().size()), commandsRun.load());
  std::optional<std::string> last = platform.file(kRequestPath);
  ASSERT_TRUE(last);
  EXPECT_NE(std::find(validRequests.begin(), validRequests.end(), *last), validRequests.end()) << *last;
}

}  // namespace
}  // namespace ferlo
