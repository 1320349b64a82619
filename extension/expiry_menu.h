// The expiry item: the last entry of the "Ferlo" submenu, offered when at
// least one selected file lies under a watched root. Its submenu gives the
// day choices and the keep choice; every choice runs setExpiry: and tells it
// the choice through the item's tag alone (days, or 0 for keep).
#pragma once

#include <cstdint>

#include "extension/extension_context.h"
#include "extension/menu.h"

namespace ferlo {

// The expiry item for `fileCount` eligible files. Its title is the text of
// "finder.expiry.title" for one file, else the count text of
// "finder.expiry.titleMany %lld"; its submenu (title "") always holds five
// items: "finder.expiry.days %lld" for 1, 7 and 30 (tags 1, 7, 30), a
// separator, and "finder.expiry.keep" (tag 0), each choice with action
// setExpiry: on the principal object.
[[nodiscard]] MenuItem makeExpiryItem(std::int64_t fileCount, const ExtensionContext& context);

}  // namespace ferlo
