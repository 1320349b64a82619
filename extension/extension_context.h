// ExtensionContext: the process-wide state of the extension: the platform it
// talks to and the four values computed once per process at first use
// (hostBundleIdentifier, appGroupIdentifier, brandGlyphImage,
// expiryDayChoices). The macOS layer holds one for the process; each test
// makes its own. Every once-value is computed exactly once even when first
// uses on several threads coincide.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "exchange/identity.h"
#include "extension/menu.h"
#include "platform/platform.h"

namespace ferlo {

class ExtensionContext {
 public:
  explicit ExtensionContext(Platform& platform) : platform_(platform), identity_(platform) {}
  ExtensionContext(const ExtensionContext&) = delete;
  ExtensionContext& operator=(const ExtensionContext&) = delete;

  [[nodiscard]] Platform& platform() const { return platform_; }
  [[nodiscard]] const Identity& identity() const { return identity_; }

  // The "BrandGlyph" image scaled to a height of 16 points, not a template;
  // none when the image is missing or its height is not positive. Looked up
  // once: a missing image is not looked up again.
  [[nodiscard]] const std::optional<MenuImage>& brandGlyphImage() const;

  // 1, 7, 30.
  [[nodiscard]] const std::vector<std::int64_t>& expiryDayChoices() const;

 private:
  Platform& platform_;
  Identity identity_;
  mutable std::once_flag glyphOnce_;
  mutable std::optional<MenuImage> glyph_;
  mutable std::once_flag expiryOnce_;
  mutable std::vector<std::int64_t> expiryDays_;
};

}  // namespace ferlo
