// The menu value types and the process-wide values of the context.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/menu.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using testing::CountingPlatform;

struct GlyphCase {
  const char* name;
  std::optional<ImageSize> resource;
  std::optional<double> width;  // none: no image
};

void PrintTo(const GlyphCase& c, std::ostream* os) { *os << c.name; }

class BrandGlyphTest : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(BrandGlyphTest, ScalesToSixteenPointsHigh) {
  const GlyphCase& c = GetParam();
  CountingPlatform platform;
  if (c.resource) platform.images["BrandGlyph"] = *c.resource;
  ExtensionContext context(platform);
  const std::optional<MenuImage>& image = context.brandGlyphImage();
  if (!c.width) {
    EXPECT_FALSE(image);
  } else {
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name, "BrandGlyph");
    EXPECT_EQ(image->height, 16);
    EXPECT_EQ(image->width, *c.width);
    EXPECT_FALSE(image->isTemplate);
  }
  // Whatever the outcome, the resource is not looked up again.
  (void)context.brandGlyphImage();
  platform.images["BrandGlyph"] = ImageSize{32, 16};
  EXPECT_EQ(context.brandGlyphImage().has_value(), c.width.has_value());
  EXPECT_EQ(platform.imageLookups.load(), 1);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Sizes, BrandGlyphTest,
    ::testing::Values(GlyphCase{"Wide32x16", ImageSize{32, 16}, 32.0}, GlyphCase{"Tall20x30", ImageSize{20, 30}, 11.0},
                      GlyphCase{"Exact24x64", ImageSize{24, 64}, 6.0}, GlyphCase{"HalfUp1x32", ImageSize{1, 32}, 1.0},
                      // 2.5 rounds away from zero, not to even.
                      GlyphCase{"HalfAwayFromZero5x32", ImageSize{5, 32}, 3.0},
                      GlyphCase{"JustBelowHalf", ImageSize{0.49, 16}, 0.0},
                      GlyphCase{"Missing", std::nullopt, std::nullopt},
                      GlyphCase{"ZeroHeight", ImageSize{16, 0}, std::nullopt},
                      GlyphCase{"NaNHeight", ImageSize{16, kNaN}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo
