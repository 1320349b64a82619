#import "platform/macos/finder_stand_in/finder_stand_in.h"

#import <objc/runtime.h>

#include <stdlib.h>

// The controller that the replaced defaultController returns: the calls the
// extension and the test make of FIFinderSyncController, as plain state.
@interface FerloStandInFinderSyncController : NSObject
@property(copy) NSSet* directoryURLs;
@property(copy) NSArray* selectedItemURLs;
@property(strong) NSURL* targetedURL;
@end

@implementation FerloRecordedOpen
- (instancetype)initWithURL:(NSURL*)url activates:(BOOL)activates {
  self = [super init];
  if (self != nil) {
    _url = url;
    _activates = activates;
  }
  return self;
}
@end

namespace {

// Guarded by @synchronized on the array: the extension may open the host
// from any thread.
NSMutableArray* recordedOpens() {
  static NSMutableArray* opens = [NSMutableArray array];
  return opens;
}

NSArray* runningIdentifiers = nil;  // constant-initialised: +load runs before dynamic initialisation

// `block` in place of the method `selector` of `cls` (instance or class
// method), keeping its type encoding; the implementation replaced.
IMP replace(Class cls, SEL selector, BOOL classMethod, id block) {
  Method method = classMethod ? class_getClassMethod(cls, selector) : class_getInstanceMethod(cls, selector);
  if (method == nullptr) {
    NSLog(@"finder stand-in: %@ has no method %@", cls, NSStringFromSelector(selector));
    abort();
  }
  IMP original = method_getImplementation(method);
  class_replaceMethod(classMethod ? object_getClass(cls) : cls, selector, imp_implementationWithBlock(block),
                      method_getTypeEncoding(method));
  return original;
}

}  // namespace

@implementation FerloStandInFinderSyncController

// Before main: the program sees the stand-ins from its first call.
+ (void)load {
  static FerloStandInFinderSyncController* controller = [[FerloStandInFinderSyncController alloc] init];
  replace([FIFinderSyncController class], @selector(defaultController), YES, ^id(id) { return controller; });

  replace([NSRunningApplication class], @selector(runningApplicationsWithBundleIdentifier:), YES,
          ^NSArray*(id, NSString* identifier) {
            NSMutableArray* running = [NSMutableArray array];
            for (NSString* candidate in runningIdentifiers) {
              if ([candidate isEqualToString:identifier]) [running addObject:[NSRunningApplication currentApplication]];
            }
            return running;
          });

  replace([NSWorkspace class], @selector(openApplicationAtURL:configuration:completionHandler:), NO,
          ^(id, NSURL* url, NSWorkspaceOpenConfiguration* configuration, id) {
            FerloRecordedOpen* open = [[FerloRecordedOpen alloc] initWithURL:url activates:[configuration activates]];
            @synchronized(recordedOpens()) {
              [recordedOpens() addObject:open];
            }
          });

  SEL container = @selector(containerURLForSecurityApplicationGroupIdentifier:);
  static IMP realContainer = nullptr;
  realContainer = replace([NSFileManager class], container, NO, ^NSURL*(NSFileManager* manager, NSString* group) {
    const char* root = getenv("FERLO_GROUP_CONTAINERS");
    if (root == nullptr || *root == '\0') {
      return reinterpret_cast<NSURL* (*)(id, SEL, NSString*)>(realContainer)(manager, container, group);
    }
    NSString* path = [@(root) stringByAppendingPathComponent:group];
    BOOL directory = NO;
    if (![manager fileExistsAtPath:path isDirectory:&directory] || !directory) return nil;
    return [NSURL fileURLWithPath:path isDirectory:YES];
  });
}

@end

@implementation NSWorkspace (FerloStandIn)
- (NSArray*)ferloRecordedOpens {
  @synchronized(recordedOpens()) {
    return [recordedOpens() copy];
  }
}
- (void)ferloForgetRecordedOpens {
  @synchronized(recordedOpens()) {
    [recordedOpens() removeAllObjects];
  }
}
@end

@implementation NSRunningApplication (FerloStandIn)
+ (void)ferloSetRunningBundleIdentifiers:(NSArray*)bundleIdentifiers {
  runningIdentifiers = [bundleIdentifiers copy];
}
@end
