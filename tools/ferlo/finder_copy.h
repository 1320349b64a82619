// What the Finder makes of a chosen menu item before it reaches the action:
// the `ferlo` program plays the Finder with these, and the tests use them to
// send what the Finder would send.
#pragma once

#include "extension/menu.h"
#include "extension/sender.h"

namespace ferlo {

// The chosen item as the Finder delivers it to the action: rebuilt in
// another process from its title, action, image, enabled state and tag (and
// its state, indentation level and submenu, which the extension leaves at
// their defaults). Its represented object, styled title, target and key
// equivalent are gone.
[[nodiscard]] MenuItem finderCopyOf(const MenuItem& item);

// What a command reads of `item` as its sender.
[[nodiscard]] Sender senderOf(const MenuItem& item);

}  // namespace ferlo
