// The process-wide brand glyph of the context.
#include <limits>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

TEST(BrandGlyphTest, ScaledToSixteenPointsHighAndLookedUpOnce) {
  const struct {
    const char* name;
    std::optional<ImageSize> resource;
    std::optional<double> width;  // none: no image
  } cases[] = {
      {"Wide32x16", ImageSize{32, 16}, 32.0},
      {"Tall20x30", ImageSize{20, 30}, 11.0},
      {"HalfUp1x32", ImageSize{1, 32}, 1.0},
      {"HalfAwayFromZero5x32", ImageSize{5, 32}, 3.0},  // 2.5 rounds away from zero, not to even
      {"JustBelowHalf", ImageSize{0.49, 16}, 0.0},
      {"Missing", std::nullopt, std::nullopt},
      {"ZeroHeight", ImageSize{16, 0}, std::nullopt},
      {"NaNHeight", ImageSize{16, std::numeric_limits<double>::quiet_NaN()}, std::nullopt},
  };
  for (const auto& c : cases) {
    testing::CountingPlatform platform;
    if (c.resource) platform.images["BrandGlyph"] = *c.resource;
    ExtensionContext context(platform);
    const std::optional<MenuImage>& image = context.brandGlyphImage();
    if (c.width) {
      EXPECT_EQ(image, (MenuImage{"BrandGlyph", *c.width, 16, false})) << c.name;
    } else {
      EXPECT_EQ(image, std::nullopt) << c.name;
    }
    // Whatever the outcome, the resource is not looked up again.
    platform.images["BrandGlyph"] = ImageSize{32, 16};
    EXPECT_EQ(&context.brandGlyphImage(), &image) << c.name;
    EXPECT_EQ(context.brandGlyphImage().has_value(), c.width.has_value()) << c.name;
    EXPECT_EQ(platform.imageLookups.load(), 1) << c.name;
  }
}

}  // namespace
}  // namespace ferlo
