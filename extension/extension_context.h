// ExtensionContext: the process-wide state of the extension: the platform it
// talks to, the four values computed once per process at first use
// (hostBundleIdentifier, appGroupIdentifier, brandGlyphImage,
// expiryDayChoices), and the tags of the rule items this process has shown.
// The macOS layer holds one for the process; each test makes its own. Every
// once-value is computed exactly once even when first uses on several
// threads coincide.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "exchange/identity.h"
#include "extension/menu.h"
#include "extension/rule_item_tags.h"
#include "platform/platform.h"

namespace ferlo {

class ExtensionContext {
 public:
  explicit ExtensionContext(Platform& platform)
      : platform_(platform), identity_(platform), ruleItemTags_(platform.processIdentifier()) {}
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

  // The rule items' tags: recorded by every menu build, resolved by runRule:.
  [[nodiscard]] RuleItemTags& ruleItemTags() const { return ruleItemTags_; }

 private:
  Platform& platform_;
  Identity identity_;
  mutable std::once_flag glyphOnce_;
  mutable std::optional<MenuImage> glyph_;
  mutable std::once_flag expiryOnce_;
  mutable std::vector<std::int64_t> expiryDays_;
  mutable RuleItemTags ruleItemTags_;
};

}  // namespace ferlo
