#include "extension/extension_context.h"

#include <cmath>

namespace ferlo {
namespace {

constexpr std::string_view kBrandGlyphName = "BrandGlyph";
constexpr double kMenuGlyphHeight = 16;

}  // namespace

const std::optional<MenuImage>& ExtensionContext::brandGlyphImage() const {
  std::call_once(glyphOnce_, [this] {
    std::optional<ImageSize> size = platform_.imageNamed(kBrandGlyphName);
    // `!(h > 0)` also refuses a NaN height, which no comparison would catch.
    if (!size || !(size->height > 0)) return;
    MenuImage image;
    image.name = std::string(kBrandGlyphName);
    image.height = kMenuGlyphHeight;
    // std::round rounds halves away from zero: 1x32 gives 0.5, shown as 1.
    image.width = std::round(size->width / size->height * kMenuGlyphHeight);
    image.isTemplate = false;  // the glyph keeps its own colours
    glyph_ = std::move(image);
  });
  return glyph_;
}

const std::vector<std::int64_t>& ExtensionContext::expiryDayChoices() const {
  std::call_once(expiryOnce_, [this] { expiryDays_ = {1, 7, 30}; });
  return expiryDays_;
}

}  // namespace ferlo
