// FinderSync: the extension's principal object. The Finder creates one at
// the bundle's entry (NSExtensionMain names it through the Info.plist's
// NSExtensionPrincipalClass) and makes every call on it. It holds nothing:
// each operation forwards to the portable core, which works in the one
// process-wide context of this extension process.
//
// Objective-C header.
#pragma once

#import "platform/macos/objc_support.h"

@interface FinderSync : FIFinderSync

// Registers the user's home directory with the Finder's controller as the
// one directory in which the extension's menus apply; every init does.
- (instancetype)init;

// "Ferlo", both, untranslated.
@property(nonatomic, readonly, copy) NSString* toolbarItemName;
@property(nonatomic, readonly, copy) NSString* toolbarItemToolTip;

// The menu for `menuKind`, never nil: the "Ferlo" entry for the contextual
// menus of items and containers while the host runs and its manifest reads,
// an empty menu otherwise. Every actionable item targets this object.
- (NSMenu*)menuForMenuKind:(FIMenuKind)menuKind;

// The menu commands. `sender` is the chosen NSMenuItem; runRule: reads its
// represented object, setExpiry: its tag, the other two nothing.
- (IBAction)runRule:(id)sender;
- (IBAction)runFlatten:(id)sender;
- (IBAction)runMergeSelected:(id)sender;
- (IBAction)setExpiry:(id)sender;

@end
