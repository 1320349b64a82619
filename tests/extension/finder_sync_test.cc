// The principal object: what its initialiser registers, its toolbar texts
// and the brand glyph. Many Finder threads on one object while the
// process-wide values are computed for the first time: tests/reliability.
#include <limits>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
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

}  // namespace
}  // namespace ferlo
