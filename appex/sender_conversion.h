// What a command reads of the object the Finder passes as the sender of a
// menu action: the item's represented object, tag and title. The Finder
// passes a copy of the chosen item made in another process, which has no
// represented object; its tag and title name the rule.
//
// Objective-C header: include only from .mm files.
#pragma once

#import "platform/macos/objc_support.h"
#include "extension/sender.h"

namespace ferlo {

// The sender value of a menu action's sender. For an NSMenuItem: its tag,
// its title, and its represented object as a string when it is an NSString,
// "other" for any other object, none for nil. Anything that is not a menu
// item (nil included) is a sender with no object, tag 0 and no title.
// Never raises.
//   item.representedObject = @"0F8E…", item.tag = 0  ->  {string "0F8E…", 0}
//   item.representedObject = @42,      item.tag = 7  ->  {other, 7}
//   item.representedObject = nil, tag = T, title "Tidy"  ->  {none, T, "Tidy"}
[[nodiscard]] Sender senderFromObject(id sender);

}  // namespace ferlo
