// The four menu commands in one table: the selector a menu item names, the
// name of the action method the Finder calls, the guard that says whether a
// selection offers the command, and the command itself. The dispatch of
// FinderSync::perform, selectorName/selectorForName, `ferlo send` and the
// bundle inspection all read this table; the Objective-C class has one action
// method per row.
#pragma once

#include <array>
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
  // Whether `offer` offers the command: the menu shows it, the command goes on.
  bool (*offered)(const SelectionOffer& offer);
  // Reads the selection afresh, tests `offered` and makes the request.
  void (*run)(const ExtensionContext& context, const Sender& sender);
};

inline constexpr std::array<MenuCommand, 4> kMenuCommands = {{
    {Selector::runRule, "runRule:", [](const SelectionOffer& o) { return o.targetFolder.has_value(); },
     commands::runRule},
    {Selector::runFlatten, "runFlatten:", [](const SelectionOffer& o) { return o.targetFolder.has_value(); },
     [](const ExtensionContext& context, const Sender&) { commands::runFlatten(context); }},
    {Selector::runMergeSelected, "runMergeSelected:", [](const SelectionOffer& o) { return o.folders.size() >= 2; },
     [](const ExtensionContext& context, const Sender&) { commands::runMergeSelected(context); }},
    {Selector::setExpiry, "setExpiry:", [](const SelectionOffer& o) { return !o.files.empty(); },
     commands::setExpiry},
}};

// The row of `selector`; none for Selector::none.
[[nodiscard]] constexpr const MenuCommand* menuCommandFor(Selector selector) {
  for (const MenuCommand& command : kMenuCommands) {
    if (command.selector == selector) return &command;
  }
  return nullptr;
}

}  // namespace ferlo
