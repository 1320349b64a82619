// GNUstep stand-ins for the platform calls GNUstep lacks. Manual reference
// counting: GNUstep's runtime has no ARC.
#import "platform/macos/gnustep_compat/gnustep_compat.h"

#import <objc/runtime.h>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#pragma mark - FIFinderSync

@implementation FIFinderSync
@end

#pragma mark - FIFinderSyncController

@implementation FIFinderSyncController

+ (FIFinderSyncController*)defaultController {
  // One controller per process, like the Finder's; never released.
  static FIFinderSyncController* controller = nil;
  @synchronized(self) {
    if (controller == nil) controller = [[FIFinderSyncController alloc] init];
  }
  return controller;
}

- (void)dealloc {
  [_directoryURLs release];
  [_selectedItemURLs release];
  [_targetedURL release];
  [super dealloc];
}

- (NSSet*)directoryURLs {
  @synchronized(self) {
    // The real property is never nil: no registration reads as the empty set.
    return [[(_directoryURLs ? _directoryURLs : [NSSet set]) retain] autorelease];
  }
}

- (void)setDirectoryURLs:(NSSet*)urls {
  NSSet* copy = [urls copy];
  @synchronized(self) {
    [_directoryURLs release];
    _directoryURLs = copy;
  }
}

- (NSArray*)selectedItemURLs {
  @synchronized(self) {
    return [[_selectedItemURLs retain] autorelease];
  }
}

- (void)setSelectedItemURLs:(NSArray*)urls {
  NSArray* copy = [urls copy];
  @synchronized(self) {
    [_selectedItemURLs release];
    _selectedItemURLs = copy;
  }
}

- (NSURL*)targetedURL {
  @synchronized(self) {
    return [[_targetedURL retain] autorelease];
  }
}

- (void)setTargetedURL:(NSURL*)url {
  NSURL* copy = [url copy];
  @synchronized(self) {
    [_targetedURL release];
    _targetedURL = copy;
  }
}

@end

#pragma mark - NSFileManager

@implementation NSFileManager (FerloCompat)

- (NSURL*)containerURLForSecurityApplicationGroupIdentifier:(NSString*)groupIdentifier {
  // A group identifier is one path component; anything else names no group.
  if ([groupIdentifier length] == 0 || [groupIdentifier isEqualToString:@"."] ||
      [groupIdentifier isEqualToString:@".."] || [groupIdentifier rangeOfString:@"/"].location != NSNotFound) {
    return nil;
  }
  // getenv, not NSProcessInfo: the process's environment as it is now.
  NSString* root = nil;
  if (const char* configured = std::getenv("FERLO_GROUP_CONTAINERS"); configured != nullptr && *configured != '\0') {
    root = [self stringWithFileSystemRepresentation:configured length:std::strlen(configured)];
  } else {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    NSString* base = (dataHome != nullptr && *dataHome != '\0')
                         ? [self stringWithFileSystemRepresentation:dataHome length:std::strlen(dataHome)]
                         : [NSHomeDirectory() stringByAppendingPathComponent:@".local/share"];
    root = [base stringByAppendingPathComponent:@"ferlo/group-containers"];
  }
  NSString* path = [root stringByAppendingPathComponent:groupIdentifier];
  BOOL isDirectory = NO;
  if (![self fileExistsAtPath:path isDirectory:&isDirectory] || !isDirectory) return nil;
  return [NSURL fileURLWithPath:path isDirectory:YES];
}

- (NSURL*)homeDirectoryForCurrentUser {
  return [NSURL fileURLWithPath:NSHomeDirectory() isDirectory:YES];
}

@end

#pragma mark - NSString

@implementation NSString (FerloCompat)

- (NSString*)uppercaseStringWithLocale:(NSLocale*)locale {
  NSUInteger length = [self length];
  std::vector<UChar> source(length);
  if (length > 0) [self getCharacters:reinterpret_cast<unichar*>(source.data()) range:NSMakeRange(0, length)];
  const char* localeName = locale != nil ? [[locale localeIdentifier] UTF8String] : "";
  // Full case mapping may lengthen the text ("ß" -> "SS"); measure first.
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = u_strToUpper(nullptr, 0, source.data(), static_cast<int32_t>(length), localeName, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return [self uppercaseString];
  std::vector<UChar> upper(static_cast<std::size_t>(needed) + 1);
  status = U_ZERO_ERROR;
  int32_t written = u_strToUpper(upper.data(), static_cast<int32_t>(upper.size()), source.data(),
                                 static_cast<int32_t>(length), localeName, &status);
  if (U_FAILURE(status)) return [self uppercaseString];
  return [NSString stringWithCharacters:reinterpret_cast<const unichar*>(upper.data())
                                 length:static_cast<NSUInteger>(written)];
}

@end

#pragma mark - NSFont

@implementation NSFont (FerloCompat)

+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight {
  return weight >= NSFontWeightSemibold ? [self boldSystemFontOfSize:fontSize] : [self systemFontOfSize:fontSize];
}

@end

#pragma mark - NSImage

// GNUstep's NSImage has no room for the flag and its runtime no associated
// objects: the template images are kept by address. Only images that are
// templates are listed, and an image is listed only while it is one.
static NSHashTable* ferloTemplateImages(void) {
  static NSHashTable* table = nullptr;
  @synchronized([NSImage class]) {
    if (table == nullptr) table = NSCreateHashTable(NSNonOwnedPointerHashCallBacks, 0);
  }
  return table;
}

@implementation NSImage (FerloCompat)

- (void)setTemplate:(BOOL)isTemplate {
  NSHashTable* table = ferloTemplateImages();
  @synchronized([NSImage class]) {
    if (isTemplate) {
      NSHashInsert(table, self);
    } else {
      NSHashRemove(table, self);
    }
  }
}

- (BOOL)isTemplate {
  NSHashTable* table = ferloTemplateImages();
  @synchronized([NSImage class]) {
    return NSHashGet(table, self) != nullptr;
  }
}

@end

#pragma mark - NSMenuItem

// GNUstep's NSMenuItem turns an attributed title into its plain title and
// keeps no attributes (`attributedTitle` answers nil). The extension expects
// the two apart: the styled title shown, the plain title as it was set. The
// styled titles are kept here by item, and an item's entry goes with it.
static NSMapTable* ferloAttributedTitles = nullptr;  // item (not retained) -> NSAttributedString
static IMP ferloMenuItemDealloc = nullptr;

static void ferloSetAttributedTitle(id self, SEL, NSAttributedString* title) {
  NSAttributedString* copy = [title copy];
  @synchronized([NSMenuItem class]) {
    if (copy != nil) {
      NSMapInsert(ferloAttributedTitles, self, copy);
    } else {
      NSMapRemove(ferloAttributedTitles, self);
    }
  }
  [copy release];
}

static id ferloAttributedTitle(id self, SEL) {
  @synchronized([NSMenuItem class]) {
    return [[(NSAttributedString*)NSMapGet(ferloAttributedTitles, self) retain] autorelease];
  }
}

static void ferloMenuItemDeallocate(id self, SEL selector) {
  @synchronized([NSMenuItem class]) {
    NSMapRemove(ferloAttributedTitles, self);
  }
  reinterpret_cast<void (*)(id, SEL)>(ferloMenuItemDealloc)(self, selector);
}

@interface FerloMenuItemCompat : NSObject
@end

@implementation FerloMenuItemCompat

// Runs when this program's classes are loaded, after GNUstep's.
+ (void)load {
  Class item = objc_getClass("NSMenuItem");
  ferloAttributedTitles = NSCreateMapTable(NSNonOwnedPointerMapKeyCallBacks, NSObjectMapValueCallBacks, 0);
  class_replaceMethod(item, @selector(setAttributedTitle:), reinterpret_cast<IMP>(ferloSetAttributedTitle), "v@:@");
  class_replaceMethod(item, @selector(attributedTitle), reinterpret_cast<IMP>(ferloAttributedTitle), "@@:");
  IMP previous = class_replaceMethod(item, @selector(dealloc), reinterpret_cast<IMP>(ferloMenuItemDeallocate), "v@:");
  // Should NSMenuItem inherit its dealloc, ours goes on to the superclass's.
  ferloMenuItemDealloc =
      previous != nullptr ? previous : method_getImplementation(class_getInstanceMethod(class_getSuperclass(item), @selector(dealloc)));
}

@end

#pragma mark - NSWorkspaceOpenConfiguration

@implementation NSWorkspaceOpenConfiguration

+ (instancetype)configuration {
  return [[[self alloc] init] autorelease];
}

- (instancetype)init {
  self = [super init];
  if (self != nil) _activates = YES;
  return self;
}

- (BOOL)activates {
  return _activates;
}

- (void)setActivates:(BOOL)activates {
  _activates = activates;
}

- (id)copyWithZone:(NSZone*)zone {
  NSWorkspaceOpenConfiguration* copy = [[[self class] allocWithZone:zone] init];
  [copy setActivates:_activates];
  return copy;
}

@end

#pragma mark - NSWorkspace

@implementation FerloRecordedOpen


- (instancetype)initWithURL:(NSURL*)url activates:(BOOL)activates {
  self = [super init];
  if (self != nil) {
    _url = [url copy];
    _activates = activates;
  }
  return self;
}

- (void)dealloc {
  [_url release];
  [super dealloc];
}

- (NSURL*)url {
  return _url;
}

- (BOOL)activates {
  return _activates;
}

@end

static NSMutableArray* ferloRecordedOpenList(void) {
  static NSMutableArray* opens = nil;
  @synchronized([NSWorkspace class]) {
    if (opens == nil) opens = [[NSMutableArray alloc] init];
  }
  return opens;
}

@implementation NSWorkspace (FerloCompat)

- (void)openApplicationAtURL:(NSURL*)applicationURL
               configuration:(NSWorkspaceOpenConfiguration*)configuration
           completionHandler:(id)completionHandler {
  (void)completionHandler;
  // A nil configuration means the defaults, which activate.
  BOOL activates = configuration != nil ? [configuration activates] : YES;
  FerloRecordedOpen* record = [[FerloRecordedOpen alloc] initWithURL:applicationURL activates:activates];
  NSMutableArray* opens = ferloRecordedOpenList();
  @synchronized([NSWorkspace class]) {
    [opens addObject:record];
  }
  [record release];
}

- (NSArray*)ferloRecordedOpens {
  NSMutableArray* opens = ferloRecordedOpenList();
  @synchronized([NSWorkspace class]) {
    return [NSArray arrayWithArray:opens];
  }
}

- (void)ferloForgetRecordedOpens {
  NSMutableArray* opens = ferloRecordedOpenList();
  @synchronized([NSWorkspace class]) {
    [opens removeAllObjects];
  }
}

@end

#pragma mark - NSRunningApplication

// A running application as the stand-in reports it: only its identifier.
@interface FerloRunningApplication : NSRunningApplication {
  NSString* _ferloBundleIdentifier;
}
- (instancetype)initWithBundleIdentifier:(NSString*)bundleIdentifier;
@end

@implementation FerloRunningApplication

- (instancetype)initWithBundleIdentifier:(NSString*)bundleIdentifier {
  self = [super init];
  if (self != nil) _ferloBundleIdentifier = [bundleIdentifier copy];
  return self;
}

- (void)dealloc {
  [_ferloBundleIdentifier release];
  [super dealloc];
}

- (NSString*)bundleIdentifier {
  return _ferloBundleIdentifier;
}

@end

static NSArray* ferloRunningIdentifiers = nil;

// GNUstep's own class method finds nothing; this category's method takes its
// place when the category is loaded, which is the point of it.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wobjc-protocol-method-implementation"
@implementation NSRunningApplication (FerloCompat)

+ (NSArray*)runningApplicationsWithBundleIdentifier:(NSString*)bundleIdentifier {
  NSMutableArray* found = [NSMutableArray array];
  @synchronized([NSRunningApplication class]) {
    for (NSString* running in ferloRunningIdentifiers) {
      if (bundleIdentifier != nil && [running isEqualToString:bundleIdentifier]) {
        FerloRunningApplication* application = [[FerloRunningApplication alloc] initWithBundleIdentifier:running];
        [found addObject:application];
        [application release];
      }
    }
  }
  return found;
}

+ (void)ferloSetRunningBundleIdentifiers:(NSArray*)bundleIdentifiers {
  NSArray* copy = [bundleIdentifiers copy];
  @synchronized([NSRunningApplication class]) {
    [ferloRunningIdentifiers release];
    ferloRunningIdentifiers = copy;
  }
}

@end
#pragma clang diagnostic pop
