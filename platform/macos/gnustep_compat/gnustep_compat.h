// The platform calls of the macOS layer that GNUstep does not have, so that
// the very sources that run in the Finder compile and run on Linux. Built
// only for GNUstep (FERLO_BUILD_GNUSTEP); macOS uses the real frameworks.
//
// Each stand-in does what the extension expects of the real call and no
// more. Where the real call reaches into the Finder or the window server
// (the Finder's selection, running applications, launching an application),
// the stand-in is state that a test sets and reads back.
//
// Objective-C header, included through objc_support.h only.
#pragma once

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#pragma mark - FinderSync framework

// The menu the Finder is about to show (FinderSync's FIMenuKind).
typedef NS_ENUM(NSUInteger, FIMenuKind) {
  FIMenuKindContextualMenuForItems = 0,
  FIMenuKindContextualMenuForContainer = 1,
  FIMenuKindContextualMenuForSidebar = 2,
  FIMenuKindToolbarItemMenu = 3,
};

// What the Finder may ask of a principal object; everything is optional.
@protocol FIFinderSyncProtocol <NSObject>
@optional
- (NSMenu*)menuForMenuKind:(FIMenuKind)menuKind;
@property(copy, readonly) NSString* toolbarItemName;
@property(copy, readonly) NSImage* toolbarItemImage;
@property(copy, readonly) NSString* toolbarItemToolTip;
@end

// The base class of a Finder Sync extension's principal object.
@interface FIFinderSync : NSObject <FIFinderSyncProtocol>
@end

// The Finder's controller for this extension. `directoryURLs` is what the
// extension registers; the selection and the targeted folder are what the
// Finder reports, set here by a test in the Finder's place.
// (GCC's runtime has the fragile ABI: instance variables are declared here.)
@interface FIFinderSyncController : NSObject {
  NSSet* _directoryURLs;
  NSArray* _selectedItemURLs;
  NSURL* _targetedURL;
}
+ (FIFinderSyncController*)defaultController;

// The watched directories (a set of directory URLs); replaced whole.
@property(copy) NSSet* directoryURLs;

// The selected items in the Finder's order, or nil for no selection.
- (NSArray*)selectedItemURLs;
// The folder the menu was opened on, or nil.
- (NSURL*)targetedURL;

// Stand-in only: what the Finder reports next.
- (void)setSelectedItemURLs:(NSArray*)urls;
- (void)setTargetedURL:(NSURL*)url;
@end

#pragma mark - Foundation

@interface NSFileManager (FerloCompat)
// The container of `groupIdentifier`: <root>/<groupIdentifier>/ when that
// directory exists, nil otherwise; never created. The root is
// $FERLO_GROUP_CONTAINERS, else ${XDG_DATA_HOME:-$HOME/.local/share}/ferlo/
// group-containers, the same place the `ferlo` program uses. Read at every
// call, so a test may change it between calls.
- (NSURL*)containerURLForSecurityApplicationGroupIdentifier:(NSString*)groupIdentifier;
// NSHomeDirectory() as a directory URL.
- (NSURL*)homeDirectoryForCurrentUser;
@end

@interface NSString (FerloCompat)
// Upper case by the rules of `locale` (ICU's full case mapping, so that
// "ß" becomes "SS" and, in Turkish, "i" becomes "İ"); nil locale: the root
// locale's rules.
- (NSString*)uppercaseStringWithLocale:(NSLocale*)locale;
@end

#pragma mark - AppKit

@interface NSFont (FerloCompat)
// GNUstep's fonts have two weights: semibold and heavier give the bold
// system font, lighter weights the regular one.
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;
@end

@interface NSImage (FerloCompat)
// Whether the image is a template (drawn as a mask in the menu's colour).
// GNUstep draws no template images; the flag is only kept per image.
- (void)setTemplate:(BOOL)isTemplate;
- (BOOL)isTemplate;
@end

// NSMenuItem's setAttributedTitle: and attributedTitle are replaced when the
// program loads: GNUstep's drop the attributes and overwrite the plain title;
// these keep the styled title as given and leave the plain title alone,
// which is what the extension expects of AppKit.

// Options of opening an application. `activates` defaults to YES, as on macOS.
@interface NSWorkspaceOpenConfiguration : NSObject <NSCopying> {
  BOOL _activates;
}
+ (instancetype)configuration;
@property BOOL activates;
@end

// A record of one openApplicationAtURL:configuration:completionHandler: call.
@interface FerloRecordedOpen : NSObject {
  NSURL* _url;
  BOOL _activates;
}
@property(readonly, retain) NSURL* url;
@property(readonly) BOOL activates;
@end

@interface NSWorkspace (FerloCompat)
// Records the call (the URL and the configuration's `activates`) and returns
// at once, as the real call does. Nothing is launched; the handler, which
// the extension never passes, would not be called.
- (void)openApplicationAtURL:(NSURL*)applicationURL
               configuration:(NSWorkspaceOpenConfiguration*)configuration
           completionHandler:(id)completionHandler;

// Stand-in only: the recorded opens, oldest first, and forgetting them.
- (NSArray*)ferloRecordedOpens;
- (void)ferloForgetRecordedOpens;
@end

@interface NSRunningApplication (FerloCompat)
// GNUstep's NSRunningApplication is a stub that finds no application. This
// gives one (bare) entry per running identifier equal to `bundleIdentifier`.
+ (NSArray*)runningApplicationsWithBundleIdentifier:(NSString*)bundleIdentifier;

// Stand-in only: the bundle identifiers of the applications that run, one
// entry per running instance.
+ (void)ferloSetRunningBundleIdentifiers:(NSArray*)bundleIdentifiers;
@end

#pragma mark - CoreFoundation

// The two property-list booleans. GNUstep keeps one shared NSNumber for each
// truth value, and its property-list reader returns those, as CoreFoundation
// returns kCFBooleanTrue and kCFBooleanFalse on macOS.
typedef const void* CFBooleanRef;
#define kCFBooleanTrue ((CFBooleanRef)(void*)[NSNumber numberWithBool:YES])
#define kCFBooleanFalse ((CFBooleanRef)(void*)[NSNumber numberWithBool:NO])
