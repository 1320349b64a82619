#include "extension/menu.h"

namespace ferlo {

std::string_view selectorName(Selector selector) {
  switch (selector) {
    case Selector::runRule:
      return "runRule:";
    case Selector::runFlatten:
      return "runFlatten:";
    case Selector::runMergeSelected:
      return "runMergeSelected:";
    case Selector::setExpiry:
      return "setExpiry:";
    case Selector::none:
      break;
  }
  return "";
}

std::optional<Selector> selectorForName(std::string_view name) {
  for (Selector s : {Selector::runRule, Selector::runFlatten, Selector::runMergeSelected, Selector::setExpiry}) {
    if (selectorName(s) == name) return s;
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
