// Several Finder threads on one principal object over the real POSIX
// stand-in: real manifest reads, real atomic writes, the ICU-backed
// localisation and the PNG lookup, with the four once-values first used by
// all threads at once, and a host reading the request file meanwhile. The
// fake-platform version of this lives with the extension tests; this one
// adds the real file system and locale services underneath (and is what the
// ThreadSanitizer run of the suite checks).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "extension/menu_builder.h"
#include "tests/extension/extension_test_support.h"
#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

using ferlo::testing::describe;

TEST(RealPlatformConcurrency, ManyFinderThreadsOnOneObject) {
  Container container;
  putFile(container / kRulesName, manifestText(3, {"/home/user/w"}));
  const std::vector<FileURL> selection = {FileURL::fileURLWithPath("/home/user/One", true),
                                          FileURL::fileURLWithPath("/home/user/Two", true),
                                          FileURL::fileURLWithPath("/home/user/w/a.txt", false)};
  const std::vector<std::string> validRequests = {
      R"({"action":"runRule","folders":["\/home\/user\/One"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})",
      R"({"action":"flattenFolder","folders":["\/home\/user\/One"]})",
      R"({"action":"mergeFolders","folders":["\/home\/user\/One","\/home\/user\/Two"]})",
      R"({"action":"expireFiles","folders":[],"files":["\/home\/user\/w\/a.txt"],"days":7})",
  };
  const auto isValid = [&](const std::string& bytes) {
    return std::find(validRequests.begin(), validRequests.end(), bytes) != validRequests.end();
  };

  // What a single thread sees, on a platform and context of its own.
  const std::string expectedMenu = describe(Extension<>(healthyConfig(container, selection)).finderSync.menuForMenuKind(0));
  ASSERT_NE(expectedMenu.find("BrandGlyph"), std::string::npos) << expectedMenu;
  ASSERT_NE(expectedMenu.find("setExpiry:"), std::string::npos) << expectedMenu;

  Extension<> extension(healthyConfig(container, selection));
  constexpr int kThreads = 8;
  const int rounds = kSanitized ? 8 : 30;
  std::latch start(kThreads + 1);
  std::atomic<int> wrongMenus{0}, commandsRun{0}, badReads{0}, goodReads{0};
  std::atomic<bool> finished{false};
  std::vector<const void*> glyphs(kThreads), dayChoices(kThreads);

  std::thread host([&] {
    start.arrive_and_wait();
    while (!finished.load()) {
      // Nothing yet, or one whole request.
      if (const std::optional<std::string> bytes = readRegularFile(container / kRequestName)) {
        ++(isValid(*bytes) ? goodReads : badReads);
      }
    }
  });
  std::vector<std::thread> finderThreads;
  for (int t = 0; t < kThreads; ++t) {
    finderThreads.emplace_back([&, t] {
      const auto onceValues = [&] {
        glyphs[t] = &extension.context.brandGlyphImage();
        dayChoices[t] = &extension.context.expiryDayChoices();
      };
      start.arrive_and_wait();  // first uses of every once-value coincide
      // Half the threads reach the once-values directly, half through a menu.
      if (t % 2 == 0) onceValues();
      for (int round = 0; round < rounds; ++round) {
        const auto kind = static_cast<std::uint64_t>((t + round) % 4);
        const std::string menu = describe(extension.finderSync.menuForMenuKind(kind));
        wrongMenus += menu != (kind <= 1 ? expectedMenu : describe(Menu{}));
        switch ((t + round) % 4) {
          case 0: extension.finderSync.perform(Selector::runRule, Sender::withString(kRuleId)); break;
          case 1: extension.finderSync.perform(Selector::runFlatten, Sender{}); break;
          case 2: extension.finderSync.perform(Selector::runMergeSelected, Sender{}); break;
          case 3: extension.finderSync.perform(Selector::setExpiry, Sender::withTag(7)); break;
        }
        ++commandsRun;
      }
      if (t % 2 == 1) onceValues();
    });
  }
  for (auto& thread : finderThreads) thread.join();
  finished = true;
  host.join();

  EXPECT_EQ(wrongMenus.load(), 0);
  EXPECT_EQ(badReads.load(), 0) << "of " << badReads.load() + goodReads.load() << " reads";
  EXPECT_EQ(static_cast<int>(extension.platform.opens().size()), commandsRun.load()) << "one hand-off per command";
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(glyphs[t], glyphs[0]) << "one stored brand glyph";
    EXPECT_EQ(dayChoices[t], dayChoices[0]) << "one stored list of day choices";
  }
  EXPECT_TRUE(isValid(readRegularFile(container / kRequestName).value_or("")));
  EXPECT_EQ(namesIn(container.path()), (std::set<std::string>{kRequestName, kRulesName}))
      << "concurrent writers left temporary files";
}

}  // namespace
}  // namespace ferlo::reliability
