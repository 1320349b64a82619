// What every Objective-C++ file of the macOS layer includes first: the
// frameworks, and the few macros that let one source read correctly both
// under ARC (macOS) and under manual reference counting (GNUstep on Linux,
// whose runtime has no ARC).
//
// Objective-C header: include only from .mm files.
#pragma once

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#if defined(GNUSTEP)
// GNUstep has no FinderSync framework and lacks a few newer calls; the
// stand-ins live in one place so that the sources stay the macOS sources.
#import "platform/macos/gnustep_compat/gnustep_compat.h"
#else
#import <FinderSync/FinderSync.h>
#endif

#if __has_feature(objc_arc)
// ARC owns every object; these only mark where manual counting would act.
#define FERLO_AUTORELEASE(object) (object)
#define FERLO_RELEASE(object) ((void)0)
#else
// Manual reference counting: an object from alloc/copy/new is ours until we
// release it, or autorelease it to hand it to the caller.
#define FERLO_AUTORELEASE(object) [(object) autorelease]
#define FERLO_RELEASE(object) [(object) release]
#endif
