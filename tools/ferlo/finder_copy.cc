#include "tools/ferlo/finder_copy.h"

namespace ferlo {

MenuItem finderCopyOf(const MenuItem& item) {
  MenuItem copy;
  copy.title = item.title;
  copy.image = item.image;
  copy.action = item.action;
  copy.tag = item.tag;
  copy.enabled = item.enabled;
  copy.isSeparator = item.isSeparator;
  copy.submenu = item.submenu;
  return copy;
}

Sender senderOf(const MenuItem& item) {
  Sender sender;
  if (item.representedObject) sender = Sender::withString(*item.representedObject);
  sender.tag = item.tag;
  sender.title = item.title;
  return sender;
}

}  // namespace ferlo
