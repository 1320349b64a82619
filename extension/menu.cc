#include "extension/menu.h"

#include "extension/command_table.h"

namespace ferlo {

std::string_view selectorName(Selector selector) {
  const MenuCommand* command = menuCommandFor(selector);
  return command != nullptr ? command->name : std::string_view();
}

std::optional<Selector> selectorForName(std::string_view name) {
  for (const MenuCommand& command : kMenuCommands) {
    if (command.name == name) return command.selector;
  }
  return std::nullopt;
}

MenuItem MenuItem::separatorItem() {
  // The platform's separator is a blank, disabled item with no title, no
  // action and the default tag; the renderer draws it as a line.
  MenuItem item;
  item.isSeparator = true;
  item.enabled = false;
  return item;
}

}  // namespace ferlo
