// The localisation keys of the menu's fixed texts: the one list that the
// menu builder and the expiry submenu take their keys from, so that a tool
// can check a table against exactly the keys the menu asks for.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace ferlo {

enum class MenuText {
  sectionRules,     // the rules header
  rulesEmpty,       // the disabled item of an empty rules section
  sectionActions,   // the actions header
  flatten,          // the flatten item
  merge,            // the merge item, for the number of folders
  expiryTitle,      // the expiry item, for one file
  expiryTitleMany,  // the expiry item, for the number of files
  expiryDays,       // a day choice, for its number of days
  expiryKeep,       // the keep choice
};

inline constexpr std::array<std::string_view, 9> kMenuTextKeys = {
    "finder.section.rules", "finder.rules.empty",          "finder.section.actions",
    "finder.action.flatten", "finder.action.merge %lld",   "finder.expiry.title",
    "finder.expiry.titleMany %lld", "finder.expiry.days %lld", "finder.expiry.keep",
};
static_assert(kMenuTextKeys.size() == static_cast<std::size_t>(MenuText::expiryKeep) + 1);

[[nodiscard]] constexpr std::string_view menuTextKey(MenuText text) {
  return kMenuTextKeys[static_cast<std::size_t>(text)];
}

// A count key takes the number as its one argument ("%lld"); the others are
// plain texts, looked up in Localizable.strings alone.
[[nodiscard]] constexpr bool isCountKey(std::string_view key) { return key.ends_with(" %lld"); }

}  // namespace ferlo
