#import "appex/sender_conversion.h"

#import "platform/macos/foundation_text.h"

namespace ferlo {

Sender senderFromObject(id sender) {
  Sender result;
  // Checked casts only: the sender is whatever object the dispatch passed.
  if (![sender isKindOfClass:[NSMenuItem class]]) return result;
  NSMenuItem* item = (NSMenuItem*)sender;
  result.tag = static_cast<std::int64_t>([item tag]);
  NSString* title = [item title];
  if ([title isKindOfClass:[NSString class]]) result.title = toStdString(title);
  id object = [item representedObject];
  if ([object isKindOfClass:[NSString class]]) {
    result.objectKind = Sender::ObjectKind::string;
    result.objectString = toStdString((NSString*)object);
  } else if (object != nil) {
    result.objectKind = Sender::ObjectKind::other;
  }
  return result;
}

}  // namespace ferlo
