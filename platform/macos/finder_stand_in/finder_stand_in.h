// The Finder's side of the platform calls, for a program on macOS that the
// Finder does not load: the AppKit test program (tests/appkit). The layer's
// own calls stay the real ones (NSBundle, NSMenu, NSImage, NSLocalizedString,
// the files); what only the Finder or the system can give an extension is
// replaced, when the program loads, by state that the test sets and reads
// back, the same state the GNUstep shims keep (gnustep_compat.h):
//
//   +[FIFinderSyncController defaultController]   one stand-in controller that
//       keeps the directory URLs it is given and reports the selection and
//       the targeted folder set through the methods below
//   +[NSRunningApplication runningApplicationsWithBundleIdentifier:]
//       one entry per identifier set with ferloSetRunningBundleIdentifiers:
//   -[NSWorkspace openApplicationAtURL:configuration:completionHandler:]
//       recorded, nothing launched, the handler not called
//   -[NSFileManager containerURLForSecurityApplicationGroupIdentifier:]
//       $FERLO_GROUP_CONTAINERS/<group>/ when that directory exists, else nil
//       (the real call when the variable is not set)
//
// Never linked into the bundle. Objective-C header; built with ARC.
#pragma once

#import <AppKit/AppKit.h>
#import <FinderSync/FinderSync.h>
#import <Foundation/Foundation.h>

@interface FIFinderSyncController (FerloStandIn)
// What the Finder reports next: the selected items (nil: no selection) and
// the folder the menu was opened on.
- (void)setSelectedItemURLs:(NSArray*)urls;
- (void)setTargetedURL:(NSURL*)url;
@end

// A record of one openApplicationAtURL:configuration:completionHandler: call.
@interface FerloRecordedOpen : NSObject
@property(readonly, strong) NSURL* url;
@property(readonly) BOOL activates;
@end

@interface NSWorkspace (FerloStandIn)
// The recorded opens, oldest first, and forgetting them.
- (NSArray*)ferloRecordedOpens;
- (void)ferloForgetRecordedOpens;
@end

@interface NSRunningApplication (FerloStandIn)
// The bundle identifiers of the applications that run, one entry per
// running instance.
+ (void)ferloSetRunningBundleIdentifiers:(NSArray*)bundleIdentifiers;
@end
