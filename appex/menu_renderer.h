// Rendering of the core's menu tree into AppKit's NSMenu and NSMenuItem.
//
// Objective-C header: include only from .mm files.
#pragma once

#import "platform/macos/objc_support.h"
#include "extension/menu.h"

namespace ferlo {

// A new NSMenu (autoreleased) holding `menu`: each item with its title, key
// equivalent, action (NSSelectorFromString of the selector's name), `tag`,
// represented object (an NSString), submenu, and where the core says so:
// target `principal`, disabled, a styled title (the small semibold system
// font in the secondary label colour), and the named image copied, resized
// and marked (not) template. Separators are NSMenuItem separatorItem.
// `principal` is not retained by the menu, as AppKit's targets are not.
[[nodiscard]] NSMenu* renderMenu(const Menu& menu, id principal);

}  // namespace ferlo
