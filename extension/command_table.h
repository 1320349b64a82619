// The four menu commands in one table: the selector a menu item names, the
// name of the action method the Finder calls, the guard that says whether a
// selection offers the command, and the command itself. The dispatch of
// FinderSync::perform, selectorName/selectorForName, `ferlo send` and the
// bundle inspection all read this table; the Objective-C class has one action
// method per row.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "extension/commands.h"
#include "extension/extension_context.h"
#include "extension/menu.h"
#include "extension/selection.h"
#include "extension/sender.h"

namespace ferlo {

struct MenuCommand {
  Selector selector;
  std::string_view name;  // the action method's selector name
  // The guard: whether `offer` offers the command (the menu shows it, the
  // command goes on).
  bool (*offered)(const SelectionOffer& offer);
  // Reads the selection afresh, tests the guard and makes the request.
  void (*run)(const ExtensionContext& context, const Sender& sender);
};

inline constexpr std::array<MenuCommand, 4> kMenuCommands = {{
    {Selector::runRule, "runRule:", commands::offersTargetFolder, commands::runRule},
    {Selector::runFlatten, "runFlatten:", commands::offersTargetFolder,
     [](const ExtensionContext& context, const Sender&) { commands::runFlatten(context); }},
    {Selector::runMergeSelected, "runMergeSelected:", commands::offersMerge,
     [](const ExtensionContext& context, const Sender&) { commands::runMergeSelected(context); }},
    {Selector::setExpiry, "setExpiry:", commands::offersExpiry, commands::setExpiry},
}};

// The row of `selector`; none for Selector::none.
[[nodiscard]] constexpr const MenuCommand* menuCommandFor(Selector selector) {
  for (const MenuCommand& command : kMenuCommands) {
    if (command.selector == selector) return &command;
  }
  return nullptr;
}

// The command's name ("runRule:" ...); "" for none.
[[nodiscard]] constexpr std::string_view selectorName(Selector selector) {
  const MenuCommand* command = menuCommandFor(selector);
  return command != nullptr ? command->name : std::string_view();
}

// The selector named by `name`, or none for any other text.
[[nodiscard]] constexpr std::optional<Selector> selectorForName(std::string_view name) {
  for (const MenuCommand& command : kMenuCommands) {
    if (command.name == name) return command.selector;
  }
  return std::nullopt;
}

// Whether `offer` offers `selector`'s command; false for none.
[[nodiscard]] inline bool offers(const SelectionOffer& offer, Selector selector) {
  const MenuCommand* command = menuCommandFor(selector);
  return command != nullptr && command->offered(offer);
}

}  // namespace ferlo
