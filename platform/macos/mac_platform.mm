#include "platform/macos/mac_platform.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#import "platform/macos/foundation_text.h"
#include "platform/files/file_io.h"

namespace ferlo {
namespace {

#pragma mark - Conversions

// Foundation and FileURL write file URLs in the same percent-encoded form,
// so the URL text carries everything across: the folder mark (the final
// "/") included, which the selection logic reads and Foundation's `path`
// would drop.
std::optional<FileURL> toFileURL(NSURL* url) {
  if (url == nil) return std::nullopt;
  return FileURL::fromString(toStdString([url absoluteString]));
}

NSURL* toNSURL(const FileURL& url) {
  NSString* text = toNSString(url.absoluteString());
  return text != nil ? [NSURL URLWithString:text] : nil;
}

// Property lists nest only as deep as someone wrote them; a bound keeps a
// pathological Info.plist from exhausting the stack.
constexpr int kMaxInfoDepth = 64;

std::optional<InfoValue> toInfoValue(id value, int depth) {
  if (value == nil || depth > kMaxInfoDepth) return std::nullopt;
  if ([value isKindOfClass:[NSString class]]) return InfoValue::makeText(toStdString((NSString*)value));
  if ([value isKindOfClass:[NSNumber class]]) {
    // The property-list booleans are the two CoreFoundation singletons; any
    // other number, an integer 0 or 1 included, is a number.
    if (value == (__bridge id)kCFBooleanTrue) return InfoValue::makeBoolean(true);
    if (value == (__bridge id)kCFBooleanFalse) return InfoValue::makeBoolean(false);
    return InfoValue::makeNumber([(NSNumber*)value doubleValue]);
  }
  if ([value isKindOfClass:[NSArray class]]) {
    InfoValue list;
    list.kind = InfoValue::Kind::list;
    for (id element in (NSArray*)value) {
      if (std::optional<InfoValue> converted = toInfoValue(element, depth + 1)) list.list.push_back(*converted);
    }
    return list;
  }
  if ([value isKindOfClass:[NSDictionary class]]) {
    InfoValue dictionary;
    dictionary.kind = InfoValue::Kind::dictionary;
    NSDictionary* entries = (NSDictionary*)value;
    for (id key in entries) {
      if (![key isKindOfClass:[NSString class]]) continue;
      if (std::optional<InfoValue> converted = toInfoValue([entries objectForKey:key], depth + 1)) {
        dictionary.dictionary.emplace_back(toStdString((NSString*)key), *converted);
      }
    }
    std::sort(dictionary.dictionary.begin(), dictionary.dictionary.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return dictionary;
  }
  return std::nullopt;  // NSData, NSDate: nothing the extension reads
}

}  // namespace

#pragma mark - NSBundle mainBundle

std::optional<InfoValue> MacPlatform::objectForInfoDictionaryKey(std::string_view key) {
  NSString* name = toNSString(key);
  if (name == nil) return std::nullopt;
  return toInfoValue([[NSBundle mainBundle] objectForInfoDictionaryKey:name], 0);
}

std::optional<std::string> MacPlatform::bundleIdentifier() {
  NSString* identifier = [[NSBundle mainBundle] bundleIdentifier];
  if (identifier == nil) return std::nullopt;
  return toStdString(identifier);
}

FileURL MacPlatform::bundleURL() {
  NSBundle* bundle = [NSBundle mainBundle];
  if (std::optional<FileURL> url = toFileURL([bundle bundleURL])) return *url;
  return FileURL::fileURLWithPath(toStdString([bundle bundlePath]), true);
}

#pragma mark - NSFileManager defaultManager

std::optional<FileURL> MacPlatform::containerURLForSecurityApplicationGroupIdentifier(
    std::string_view groupIdentifier) {
  NSString* group = toNSString(groupIdentifier);
  if (group == nil) return std::nullopt;
  return toFileURL([[NSFileManager defaultManager] containerURLForSecurityApplicationGroupIdentifier:group]);
}

FileURL MacPlatform::homeDirectoryForCurrentUser() {
  if (std::optional<FileURL> url = toFileURL([[NSFileManager defaultManager] homeDirectoryForCurrentUser])) {
    return *url;
  }
  return FileURL::fileURLWithPath(toStdString(NSHomeDirectory()), true);
}

#pragma mark - Files

std::optional<std::string> MacPlatform::readWholeFile(const FileURL& url) { return readRegularFile(url.path()).value; }

bool MacPlatform::writeFileAtomically(const FileURL& url, std::string_view bytes) {
  if (url.hasDirectoryPath()) return false;  // a directory URL names no file to replace
  std::string path = url.path();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  std::string directory = slash == 0 ? std::string("/") : path.substr(0, slash);
  return ferlo::writeFileAtomically(directory, std::string_view(path).substr(slash + 1), bytes);
}

#pragma mark - User database

std::optional<std::string> MacPlatform::homeDirectoryOfRealUser() {
  // getpwuid_r: the Finder may call on several threads, and getpwuid's
  // static entry would be shared between them.
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::size_t size = suggested > 0 ? static_cast<std::size_t>(suggested) : 1024;
  constexpr std::size_t kMaxBuffer = std::size_t{1} << 20;
  for (;;) {
    std::vector<char> buffer(size);
    passwd entry{};
    passwd* result = nullptr;
    int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result);
    if (error == EINTR) continue;
    if (error == ERANGE && size < kMaxBuffer) {
      size *= 2;
      continue;
    }
    if (error != 0 || result == nullptr || result->pw_dir == nullptr) return std::nullopt;
    return std::string(result->pw_dir);
  }
}

#pragma mark - FIFinderSyncController defaultController

void MacPlatform::setDirectoryURLs(std::vector<FileURL> urls) {
  NSMutableSet* directories = [NSMutableSet setWithCapacity:urls.size()];
  for (const FileURL& url : urls) {
    if (NSURL* directory = toNSURL(url)) [directories addObject:directory];
  }
  [[FIFinderSyncController defaultController] setDirectoryURLs:directories];
}

std::optional<std::vector<FileURL>> MacPlatform::selectedItemURLs() {
  NSArray* selected = [[FIFinderSyncController defaultController] selectedItemURLs];
  if (selected == nil) return std::nullopt;
  std::vector<FileURL> items;
  items.reserve([selected count]);
  for (id item in selected) {
    if (![item isKindOfClass:[NSURL class]]) continue;
    if (std::optional<FileURL> url = toFileURL((NSURL*)item)) items.push_back(std::move(*url));
  }
  return items;
}

std::optional<FileURL> MacPlatform::targetedURL() {
  return toFileURL([[FIFinderSyncController defaultController] targetedURL]);
}

#pragma mark - The extension process

std::uint64_t MacPlatform::processIdentifier() {
  return static_cast<std::uint64_t>([[NSProcessInfo processInfo] processIdentifier]);
}

#pragma mark - Applications

std::size_t MacPlatform::runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) {
  NSString* identifier = toNSString(bundleIdentifier);
  if (identifier == nil) return 0;
  return [[NSRunningApplication runningApplicationsWithBundleIdentifier:identifier] count];
}

void MacPlatform::openApplicationAtURL(const FileURL& url, bool activates) {
  NSURL* application = toNSURL(url);
  if (application == nil) return;
  NSWorkspaceOpenConfiguration* configuration = [NSWorkspaceOpenConfiguration configuration];
  [configuration setActivates:activates ? YES : NO];
  // No completion handler: the outcome is not observed.
  [[NSWorkspace sharedWorkspace] openApplicationAtURL:application configuration:configuration completionHandler:nil];
}

#pragma mark - Localisation and locale

std::string MacPlatform::localizedString(std::string_view key) {
  NSString* name = toNSString(key);
  if (name == nil) return std::string(key);  // no table holds such a key
  return toStdString(NSLocalizedString(name, @""));
}

std::string MacPlatform::localizedStringWithFormat(std::string_view key, std::int64_t number) {
  NSString* name = toNSString(key);
  if (name == nil) return std::string(key);
  // The table's text is the format; with a .stringsdict entry it carries the
  // plural rules, which localizedStringWithFormat: applies.
  NSString* format = NSLocalizedString(name, @"");
  return toStdString([NSString localizedStringWithFormat:format, static_cast<long long>(number)]);
}

std::string MacPlatform::uppercasedWithCurrentLocale(std::string_view text) {
  NSString* string = toNSString(text);
  if (string == nil) return std::string(text);
  return toStdString([string uppercaseStringWithLocale:[NSLocale currentLocale]]);
}

#pragma mark - Images

std::optional<ImageSize> MacPlatform::imageNamed(std::string_view name) {
  NSString* imageName = toNSString(name);
  if (imageName == nil) return std::nullopt;
  NSImage* image = [NSImage imageNamed:imageName];
  if (image == nil) return std::nullopt;
  NSSize size = [image size];
  return ImageSize{static_cast<double>(size.width), static_cast<double>(size.height)};
}

}  // namespace ferlo
