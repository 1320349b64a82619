#import "appex/menu_renderer.h"

#include "extension/command_table.h"
#import "platform/macos/foundation_text.h"

namespace ferlo {
namespace {

#pragma mark - Item properties

// Titles come from the manifest (validated UTF-8) and from the localisation
// table; should one still fail to convert, the item keeps an empty title
// rather than raising inside the Finder.
NSString* titleText(const std::string& text) {
  NSString* string = toNSString(text);
  return string != nil ? string : @"";
}

NSAttributedString* styledTitle(const AttributedTitle& title) {
  NSFont* font = [NSFont systemFontOfSize:[NSFont smallSystemFontSize] weight:NSFontWeightSemibold];
  NSDictionary* attributes = [NSDictionary dictionaryWithObjectsAndKeys:font, NSFontAttributeName,
                                                                        [NSColor secondaryLabelColor],
                                                                        NSForegroundColorAttributeName, nil];
  return FERLO_AUTORELEASE([[NSAttributedString alloc] initWithString:titleText(title.string) attributes:attributes]);
}

// A copy, so that resizing it leaves the shared named image as it was.
NSImage* menuImage(const MenuImage& image) {
  NSString* name = toNSString(image.name);
  NSImage* named = name != nil ? [NSImage imageNamed:name] : nil;
  if (named == nil) return nil;
  NSImage* copy = FERLO_AUTORELEASE([named copy]);
  [copy setSize:NSMakeSize(image.width, image.height)];
  [copy setTemplate:image.isTemplate ? YES : NO];
  return copy;
}

NSMenuItem* renderItem(const MenuItem& item, id principal) {
  if (item.isSeparator) {
    // GNUstep declares separatorItem as id<NSMenuItem>; it is an NSMenuItem.
    return (NSMenuItem*)[NSMenuItem separatorItem];
  }
  SEL action = item.action == Selector::none ? nullptr : NSSelectorFromString(toNSString(selectorName(item.action)));
  NSMenuItem* rendered = FERLO_AUTORELEASE([[NSMenuItem alloc] initWithTitle:titleText(item.title)
                                                                      action:action
                                                               keyEquivalent:titleText(item.keyEquivalent)]);
  if (item.targetsPrincipal) [rendered setTarget:principal];
  [rendered setTag:static_cast<NSInteger>(item.tag)];
  if (item.representedObject) [rendered setRepresentedObject:toNSString(*item.representedObject)];
  // Only ever disabled: an item left alone keeps AppKit's default.
  if (!item.enabled) [rendered setEnabled:NO];
  if (item.attributedTitle) [rendered setAttributedTitle:styledTitle(*item.attributedTitle)];
  if (item.image) {
    if (NSImage* image = menuImage(*item.image)) [rendered setImage:image];
  }
  if (item.submenu) [rendered setSubmenu:renderMenu(*item.submenu, principal)];
  return rendered;
}

}  // namespace

#pragma mark - Menus

NSMenu* renderMenu(const Menu& menu, id principal) {
  NSMenu* rendered = FERLO_AUTORELEASE([[NSMenu alloc] initWithTitle:titleText(menu.title)]);
  for (const MenuItem& item : menu.items) [rendered addItem:renderItem(item, principal)];
  return rendered;
}

}  // namespace ferlo
