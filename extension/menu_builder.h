// The contextual menu: one "Ferlo" entry with the host's rules and the fixed
// actions, built from scratch at every request from the manifest and one
// reading of the selection of that moment.
#pragma once

#include <cstdint>
#include <string>

#include "extension/extension_context.h"
#include "extension/menu.h"
#include "platform/platform.h"

namespace ferlo {

// Menu kinds the Finder asks for; only the first two get the "Ferlo" entry.
inline constexpr std::uint64_t kMenuKindContextualMenuForItems = 0;
inline constexpr std::uint64_t kMenuKindContextualMenuForContainer = 1;
inline constexpr std::uint64_t kMenuKindContextualMenuForSidebar = 2;
inline constexpr std::uint64_t kMenuKindToolbarItemMenu = 3;

// Whether the menu of `kind` gets the "Ferlo" entry: only the contextual
// menus for items and for the container do.
[[nodiscard]] constexpr bool menuKindGetsEntry(std::uint64_t kind) {
  return kind <= kMenuKindContextualMenuForContainer;
}

// Whether an application with the host's bundle identifier runs: the menu
// offers nothing while none does.
[[nodiscard]] bool hostApplicationRuns(const ExtensionContext& context);

// A disabled header showing `text`, with `text` upper-cased in the current
// locale as its styled title; no action, no target.
[[nodiscard]] MenuItem makeSectionHeader(std::string text, Platform& platform);

// The menu for `kind`, titled "". Empty for kinds above 1, while the host
// application is not running, and when no manifest loads; otherwise the
// "Ferlo" entry (brand glyph, submenu "Ferlo"): the rules header, one item
// per rule (runRule:, the id in upper-case UUID text as represented object)
// or the disabled "finder.rules.empty", the actions header, flatten, and the
// merge and expiry items when the selection offers them (SelectionOffer,
// with the manifest's watched roots). The selection is read once, after the
// manifest has loaded. Never fails.
[[nodiscard]] Menu buildMenu(std::uint64_t kind, const ExtensionContext& context);

}  // namespace ferlo
