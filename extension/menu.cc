#include "extension/menu.h"

namespace ferlo {

MenuItem MenuItem::separatorItem() {
  // The platform's separator is a blank, disabled item with no title, no
  // action and the default tag; the renderer draws it as a line.
  MenuItem item;
  item.isSeparator = true;
  item.enabled = false;
  return item;
}

}  // namespace ferlo
