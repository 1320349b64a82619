// The principal object: what its initialiser registers, its toolbar texts,
// the brand glyph, and many Finder threads using one object while the
// process-wide values are computed for the first time.
#include <atomic>
#include <latch>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "extension/menu_builder.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using namespace testing;  // the shared set-up of extension_test_support.h

TEST(FinderSyncTest, InitRegistersExactlyTheHomeDirectoryAndReadsNothingElse) {
  const struct {
    std::optional<std::string> userHome;
    std::string watched;  // URL text
  } cases[] = {
      {"/Users/user", "file:///Users/user/"}, {"/Users/user/", "file:///Users/user/"},
      {"/Users/J\xC3\xB6rg Doe", "file:///Users/J%C3%B6rg%20Doe/"}, {std::nullopt, "file:///Users/platform/"},
      // An empty home field names no directory; taken as a path it would
      // make the whole disk the watched folder.
      {"", "file:///Users/platform/"},
  };
  for (const auto& c : cases) {
    CountingPlatform platform;
    makeHealthy(platform);
    platform.putFile(kRulesPath, R"({"rules":[]})");
    platform.images["BrandGlyph"] = ImageSize{16, 16};
    platform.realUserHome = c.userHome;
    platform.setDirectoryURLs({folderAt("/stale/one"), folderAt("/stale/two")});
    platform.strings["Ferlo"] = "Translated";
    ExtensionContext context(platform);
    FinderSync finderSync(context);
    EXPECT_EQ(platform.directoryURLs(), std::vector{FileURL::fromString(c.watched).value()});
    // The initialiser reads and opens nothing else.
    EXPECT_EQ(platform.containerLookups() + platform.bundleIdentifierReads() + platform.infoDictionaryReads() +
                  platform.imageLookups + platform.selectionQueries + platform.opens().size(), 0u);
    // The toolbar texts are the brand, untranslated.
    EXPECT_EQ(finderSync.toolbarItemName() + "|" + finderSync.toolbarItemToolTip(), "Ferlo|Ferlo");
  }
}

// The process-wide brand glyph of the context.
TEST(FinderSyncTest, BrandGlyphScaledToSixteenPointsHighAndLookedUpOnce) {
  const struct {
    std::optional<ImageSize> resource;
    std::optional<double> width;  // none: no image
  } cases[] = {
      {ImageSize{32, 16}, 32.0}, {ImageSize{20, 30}, 11.0}, {ImageSize{1, 32}, 1.0} /* 0.5 away from zero */,
      {ImageSize{0.49, 16}, 0.0}, {std::nullopt, std::nullopt}, {ImageSize{16, 0}, std::nullopt},
      {ImageSize{16, std::numeric_limits<double>::quiet_NaN()}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.resource ? std::to_string(c.resource->width) + "x" + std::to_string(c.resource->height) : "none");
    CountingPlatform platform;
    if (c.resource) platform.images["BrandGlyph"] = *c.resource;
    ExtensionContext context(platform);
    const std::optional<MenuImage>& image = context.brandGlyphImage();
    EXPECT_EQ(image, c.width ? std::optional(MenuImage{"BrandGlyph", *c.width, 16, false}) : std::nullopt);
    // Whatever the outcome, the resource is not looked up again.
    platform.images["BrandGlyph"] = ImageSize{32, 16};
    EXPECT_EQ(&context.brandGlyphImage(), &image);
    EXPECT_EQ(platform.imageLookups.load(), 1);
  }
}

// Many Finder threads on one object while every once-value is computed for
// the first time: each is computed once and every menu is whole, however the
// builds interleave. (Rule items' copies under many threads: the reliability
// suite.)
TEST(FinderSyncConcurrencyTest, ManyFinderThreadsOnOneObject) {
  const auto configure = [](FakePlatform& platform) {
    makeHealthy(platform);
    platform.putFile(kRulesPath, kTwoTidyRules);
    platform.images["BrandGlyph"] = ImageSize{24, 16};
    platform.selection = std::vector{folderAt("/f/one"), folderAt("/f/two"), fileAt("/w/file")};
  };
  FakePlatform quiet;  // what one thread alone sees
  configure(quiet);
  ExtensionContext quietContext(quiet);
  const std::string expected = describe(buildMenu(0, quietContext));
  ASSERT_NE(expected.find("image=BrandGlyph@24x16"), std::string::npos);

  CountingPlatform platform;
  configure(platform);
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  constexpr int kThreads = 4, kRounds = 7;
  std::atomic<int> wrong{0};
  std::latch start(kThreads);
  std::vector<std::jthread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();  // first uses of every once-value coincide
      for (int round = 0; round < kRounds; ++round) {
        const Menu menu = finderSync.menuForMenuKind(static_cast<std::uint64_t>((t + round) % 2));
        if (describe(menu) != expected) ++wrong;
      }
    });
  }
  threads.clear();  // joins
  EXPECT_EQ(wrong.load(), 0);
  // Glyph, bundle identifier and Info.plist value: each read once.
  EXPECT_EQ((std::vector{platform.imageLookups.load(), platform.bundleIdentifierReads(), platform.infoDictionaryReads()}),
            std::vector(3, 1));
}

}  // namespace
}  // namespace ferlo
