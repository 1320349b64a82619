// Text between std::string (UTF-8) and NSString, for the .mm files.
//
// Objective-C header: include only from .mm files, after objc_support.h.
#pragma once

#include <string>
#include <string_view>

#import "platform/macos/objc_support.h"

namespace ferlo {

// The NSString of UTF-8 `text` (NUL characters included), autoreleased; nil
// when `text` is not valid UTF-8.
//   toNSString("Café") -> @"Café";  toNSString("\xff") -> nil
[[nodiscard]] inline NSString* toNSString(std::string_view text) {
  return FERLO_AUTORELEASE([[NSString alloc] initWithBytes:text.data()
                                                    length:text.size()
                                                  encoding:NSUTF8StringEncoding]);
}

// The UTF-8 bytes of `text`; "" for nil, and for a string that has no UTF-8
// form (a lone surrogate).
[[nodiscard]] inline std::string toStdString(NSString* text) {
  if (text == nil) return {};
  NSData* bytes = [text dataUsingEncoding:NSUTF8StringEncoding];
  if (bytes == nil || [bytes length] == 0) return {};
  return std::string(static_cast<const char*>([bytes bytes]), [bytes length]);
}

}  // namespace ferlo
