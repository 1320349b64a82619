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

TEST(SelectorTest, NamesRoundTripAndNothingElseParses) {
  const struct {
    Selector selector;
    std::string_view name;
  } kCases[] = {
      {Selector::runRule, "runRule:"},
      {Selector::runFlatten, "runFlatten:"},
      {Selector::runMergeSelected, "runMergeSelected:"},
      {Selector::setExpiry, "setExpiry:"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(selectorName(c.selector), c.name);
    EXPECT_EQ(selectorForName(c.name), c.selector) << c.name;
  }
  EXPECT_EQ(selectorName(Selector::none), "");
  for (std::string_view other : {"", "runRule", "runrule:", "RunRule:", "runRule: ", "menuForMenuKind:"}) {
    EXPECT_EQ(selectorForName(other), std::nullopt) << "[" << other << "]";
  }
}

TEST(MenuItemTest, SeparatorIsABlankDisabledItemWithoutAction) {
  MenuItem separator = MenuItem::separatorItem();
  EXPECT_TRUE(separator.isSeparator);
  EXPECT_FALSE(separator.enabled);
  EXPECT_EQ(separator.title, "");
  EXPECT_EQ(separator.action, Selector::none);
  EXPECT_FALSE(separator.targetsPrincipal);
  EXPECT_EQ(separator.tag, 0);
  EXPECT_EQ(separator.keyEquivalent, "");
  EXPECT_FALSE(separator.representedObject);
  EXPECT_FALSE(separator.submenu);
}

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
                      // 2.5 and 1.5 round away from zero, not to even.
                      GlyphCase{"HalfAwayFromZero5x32", ImageSize{5, 32}, 3.0},
                      GlyphCase{"HalfAwayFromZero3x32", ImageSize{3, 32}, 2.0},
                      GlyphCase{"JustBelowHalf", ImageSize{0.49, 16}, 0.0}, GlyphCase{"ZeroWidth", ImageSize{0, 16}, 0.0},
                      GlyphCase{"Missing", std::nullopt, std::nullopt},
                      GlyphCase{"ZeroHeight", ImageSize{16, 0}, std::nullopt},
                      GlyphCase{"NegativeHeight", ImageSize{16, -16}, std::nullopt},
                      GlyphCase{"NaNHeight", ImageSize{16, kNaN}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExpiryDayChoicesTest, OneSevenThirtyInThatOrder) {
  FakePlatform platform;
  ExtensionContext context(platform);
  EXPECT_EQ(context.expiryDayChoices(), (std::vector<std::int64_t>{1, 7, 30}));
  EXPECT_EQ(&context.expiryDayChoices(), &context.expiryDayChoices());
}

}  // namespace
}  // namespace ferlo
