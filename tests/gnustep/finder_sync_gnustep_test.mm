// The principal class FinderSync, driven as the Finder drives it, on GNUstep
// and on macOS against AppKit (tests/appkit builds this same source, the
// Finder's side played by platform/macos/finder_stand_in): what only the
// Objective-C++ layer does. The menus it renders into NSMenu,
// the senders it converts, the Finder's copy of an item delivered to an
// action, and the real platform calls through mac_platform.mm and the shims
// (Info.plist, containers, running applications, the workspace open, file
// reads and writes). Which items a menu holds is the core's test.
//
// A small harness of its own: every case runs in its own autorelease pool
// and @try, so that an Objective-C exception fails the case instead of
// reaching AppKit's uncaught-exception panel. Manual reference counting.
#import "appex/FinderSync.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <objc/runtime.h>

#include <set>

#import "appex/sender_conversion.h"
#include "extension/command_table.h"
#include "platform/file_url.h"
#import "platform/macos/foundation_text.h"
#if !defined(GNUSTEP)
#include <mach-o/dyld.h>

#import "platform/macos/finder_stand_in/finder_stand_in.h"
#endif

namespace {

namespace fs = std::filesystem;

#pragma mark - Harness

int failedChecks = 0;
std::string currentCase;

void check(bool ok, const std::string& what, int line) {
  if (!ok) std::fprintf(stderr, "FAIL [%s] line %d: %s\n", currentCase.c_str(), line, what.c_str());
  failedChecks += !ok;
}

void checkEqual(const std::string& actual, const std::string& expected, const std::string& what, int line) {
  check(actual == expected, what + "\n    actual:   \"" + actual + "\"\n    expected: \"" + expected + "\"", line);
}

#define CHECK(condition) check((condition), #condition, __LINE__)
#define CHECK_EQ(actual, expected) checkEqual((actual), (expected), #actual, __LINE__)

std::string str(NSString* text) { return ferlo::toStdString(text); }
NSString* ns(const std::string& text) { return ferlo::toNSString(text); }

const std::string kAppGroup = FERLO_TEST_APP_GROUP;
const std::string kBundleIdentifier = FERLO_TEST_BUNDLE_IDENTIFIER;
const std::string kHostIdentifier = kBundleIdentifier.substr(0, kBundleIdentifier.rfind('.'));
const std::string kRule = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";

// The English text, read directly: the layer must find the same through
// NSLocalizedString and the main bundle.
std::string english(const std::string& key) {
  static NSDictionary* table = [[[NSString stringWithContentsOfFile:@FERLO_TEST_ENGLISH_STRINGS
                                                           encoding:NSUTF8StringEncoding
                                                              error:nullptr] propertyListFromStringsFileFormat] retain];
  NSString* text = [table objectForKey:ns(key)];
  return text != nil ? str(text) : key;
}
// A count in its English text. AppKit takes the .stringsdict entry's plural
// form ("one" for 1, else "other") for every %#@variable@ of its format;
// GNUstep reads the .strings table only.
std::string englishCount(const std::string& key, long long n) {
  std::string format = english(key);
#if !defined(GNUSTEP)
  static NSDictionary* plurals = [[NSDictionary dictionaryWithContentsOfFile:@FERLO_TEST_ENGLISH_STRINGSDICT] retain];
  if (NSDictionary* entry = [plurals objectForKey:ns(key)]) {
    format = str([entry objectForKey:@"NSStringLocalizedFormatKey"]);
    for (NSString* name in entry) {
      id rule = [entry objectForKey:name];
      const std::string variable = "%#@" + str(name) + "@";
      if (auto at = format.find(variable); at != std::string::npos && [rule isKindOfClass:[NSDictionary class]]) {
        format.replace(at, variable.size(), str([rule objectForKey:n == 1 ? @"one" : @"other"]));
      }
    }
  }
#endif
  return str([NSString stringWithFormat:ns(format), n]);
}

#pragma mark - URLs and files

std::string fileURLText(const std::string& path, bool directory) {
  return ferlo::FileURL::fileURLWithPath(path, directory).absoluteString();
}
NSURL* fileURL(const std::string& path, bool directory) { return [NSURL URLWithString:ns(fileURLText(path, directory))]; }

// The bytes of a file; "" when there is no regular file.
std::string readFile(const fs::path& path) {
  std::stringstream bytes;
  if (std::error_code error; fs::is_regular_file(path, error)) bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

#pragma mark - Scene

// One case's world in a temporary directory: the group container with two
// rules (the second named "") and the watched root "watched"; the host
// running; two folders (one named with a space and an "é"), two files under
// the root (one spelled with ".."), one outside it and one item that is no
// URL selected; no opens recorded.
struct Scene {
  fs::path root, container;

  Scene() {
    char pattern[] = "/tmp/ferlo-gnustep-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::exit(2);
    root = pattern;
    container = root / "containers" / kAppGroup;
    fs::create_directories(container);
    setenv("FERLO_GROUP_CONTAINERS", (root / "containers").c_str(), 1);
    std::ofstream(container / "rules.json") << R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30",)"
                                            << R"("name":"Tidy downloads"},{"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2",)"
                                            << R"("name":""}],"watchedRoots":[")" << (root / "watched").string() << "\"]}";
    select([NSArray arrayWithObjects:fileURL(path("Old photos"), true), fileURL(path("Caf\xC3\xA9 menu"), true),
                                     fileURL(path("watched/x.txt"), false), fileURL(path("watched/sub/../y.txt"), false),
                                     fileURL(path("elsewhere/z.txt"), false), @"not a URL", nil]);
    [[FIFinderSyncController defaultController] setTargetedURL:nil];
    [NSRunningApplication ferloSetRunningBundleIdentifiers:[NSArray arrayWithObject:ns(kHostIdentifier)]];
    [[NSWorkspace sharedWorkspace] ferloForgetRecordedOpens];
  }
  ~Scene() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  [[nodiscard]] std::string path(const std::string& relative) const { return (root / relative).string(); }
  void select(NSArray* items) const { [[FIFinderSyncController defaultController] setSelectedItemURLs:items]; }
  [[nodiscard]] std::string request() const { return readFile(container / "tool-request.json"); }
  // `json` with "@" for the root as the request writes it, every "/" as "\/".
  [[nodiscard]] std::string expected(std::string json) const {
    std::string escaped;
    for (char c : root.string()) escaped += c == '/' ? std::string("\\/") : std::string(1, c);
    for (auto at = json.find('@'); at != std::string::npos; at = json.find('@', at + escaped.size())) {
      json.replace(at, 1, escaped);
    }
    return json;
  }
};

// The recorded opens of applications, one a line; and the one hand-off
// expected: the host application H.app, three levels above the program's
// bundle, brought to the front.
std::string opens() {
  std::string out;
  for (FerloRecordedOpen* open in [[NSWorkspace sharedWorkspace] ferloRecordedOpens]) {
    out += str([[open url] absoluteString]) + ([open activates] ? " activating\n" : "\n");
  }
  return out;
}
std::string handOff() {
#if defined(GNUSTEP)
  // The program is H.app/Contents/<name>, its bundle H.app/Contents/Resources/<name>.
  fs::path host = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
#else
  // The program is H.app/Contents/PlugIns/<name>.appex/Contents/MacOS/<name>.
  char program[4096];
  uint32_t size = sizeof program;
  fs::path host = fs::canonical(_NSGetExecutablePath(program, &size) == 0 ? program : "/");
  for (int level = 0; level < 6; ++level) host = host.parent_path();
#endif
  return fileURLText(host.string(), true) + " activating\n";
}

NSMenuItem* itemAt(NSMenu* menu, const std::vector<NSInteger>& path) {
  NSMenuItem* item = nil;
  for (NSInteger index : path) item = index < [menu numberOfItems] ? [menu itemAtIndex:index] : nil, menu = [item submenu];
  return item;
}

FinderSync* newPrincipal() { return [[[FinderSync alloc] init] autorelease]; }

#pragma mark - Bundle and principal object

void testBundleAndPrincipalObject() {
  NSBundle* bundle = [NSBundle mainBundle];
  CHECK_EQ(str([bundle bundleIdentifier]), kBundleIdentifier);
  CHECK_EQ(str([bundle objectForInfoDictionaryKey:@"TarvelinAppGroup"]), kAppGroup);
  NSDictionary* extension = [bundle objectForInfoDictionaryKey:@"NSExtension"];
  CHECK_EQ(str([extension objectForKey:@"NSExtensionPointIdentifier"]), "com.apple.FinderSync");
  Class principal = NSClassFromString([extension objectForKey:@"NSExtensionPrincipalClass"]);
  CHECK(principal == [FinderSync class] && [principal isSubclassOfClass:[FIFinderSync class]]);
  CHECK_EQ(str([newPrincipal() toolbarItemName]) + "|" + str([newPrincipal() toolbarItemToolTip]), "Ferlo|Ferlo");
  // Every init registers the home directory.
  Scene scene;
  FIFinderSyncController* controller = [FIFinderSyncController defaultController];
  for (int round = 0; round < 2; ++round) {
    [controller setDirectoryURLs:[NSSet setWithObject:[NSURL URLWithString:@"file:///elsewhere/"]]];
    CHECK(newPrincipal() != nil && [[controller directoryURLs] count] == 1);
    CHECK_EQ(str([[[controller directoryURLs] anyObject] absoluteString]), fileURLText(getpwuid(getuid())->pw_dir, true));
  }
  CHECK(scene.request().empty() && opens().empty());  // init writes and opens nothing
}

#pragma mark - Menus

// Each row stops the menu at a different real call.
void testMenusThatStayEmpty() {
  const struct {
    const char* name;
    NSUInteger kind;
    std::function<void(Scene&)> arrange;
  } rows[] = {
      {"largest kind", NSUIntegerMax, [](Scene&) {}},
      {"host not running", 0, [](Scene&) { [NSRunningApplication ferloSetRunningBundleIdentifiers:[NSArray array]]; }},
      // The host is named by the Info.plist's identifier, not the compiled-in one.
      {"only the compiled-in host runs", 1, [](Scene&) {
         [NSRunningApplication ferloSetRunningBundleIdentifiers:[NSArray arrayWithObject:@FERLO_TEST_DEFAULT_HOST]];
       }},
      {"no container", 0, [](Scene& s) { fs::remove_all(s.container); }},
      {"rules.json a directory", 1,
       [](Scene& s) { fs::remove(s.container / "rules.json"), fs::create_directory(s.container / "rules.json"); }},
  };
  for (const auto& row : rows) {
    Scene scene;
    row.arrange(scene);
    NSMenu* menu = [newPrincipal() menuForMenuKind:(FIMenuKind)row.kind];
    check(menu != nil && [menu numberOfItems] == 0 && [[menu title] isEqualToString:@""],
          std::string(row.name) + ": an empty menu, never nil", __LINE__);
  }
}

// The items of a menu, one a line, with what the renderer set: title,
// action (@) and target (>self) unless it has a submenu (AppKit gives those
// its own), tag (#; "fresh" for a rule item's tag, made afresh by every menu
// and never below 2^30), represented object
// (=), key equivalent (^), disabled (off), submenu (>>), and a styled title
// (|) with its attributes checked.
std::string describe(NSMenu* menu, FinderSync* principal) {
  std::string all;
  for (NSInteger i = 0; i < [menu numberOfItems]; ++i) {
    NSMenuItem* item = [menu itemAtIndex:i];
    std::string out = [item isSeparatorItem] ? "---" : str([item title]);
    if (![item hasSubmenu] && [item action] != nullptr) out += " @" + str(NSStringFromSelector([item action]));
    if (![item hasSubmenu] && [item target] != nil) out += [item target] == principal ? " >self" : " >other";
    if ([item tag] != 0) out += " #" + ([item tag] >= (NSInteger{1} << 30) ? "fresh" : std::to_string([item tag]));
    if (id object = [item representedObject]) out += " =" + ([object isKindOfClass:[NSString class]] ? str(object) : "?");
    if ([[item keyEquivalent] length] != 0) out += " ^" + str([item keyEquivalent]);
    if (![item isEnabled] && ![item isSeparatorItem]) out += " off";
    if ([item hasSubmenu]) out += " >>";
    // Without a styled title GNUstep reads the attributed title as nil or as the plain text.
    NSAttributedString* styled = [item attributedTitle];
    if (styled != nil && ![item isSeparatorItem] && ![[styled string] isEqualToString:[item title]]) {
      NSRange range;
      NSDictionary* attributes = [styled attributesAtIndex:0 effectiveRange:&range];
      NSFont* font = [NSFont systemFontOfSize:[NSFont smallSystemFontSize] weight:NSFontWeightSemibold];
      const bool ok = range.location == 0 && range.length == [styled length] && [attributes count] == 2 &&
                      [[attributes objectForKey:NSFontAttributeName] isEqual:font] &&
                      [[attributes objectForKey:NSForegroundColorAttributeName] isEqual:[NSColor secondaryLabelColor]];
      out += " |" + str([styled string]) + (ok ? "" : " (not one run of the small semibold secondary label font)");
    }
    all += out + "\n";
  }
  return all;
}

std::string header(const std::string& key) { return english(key) + " off |" + str([ns(english(key)) uppercaseString]); }

void testFullMenu() {
  Scene scene;
  FinderSync* principal = newPrincipal();
  NSMenu* menu = [principal menuForMenuKind:FIMenuKindContextualMenuForContainer];
  CHECK_EQ(str([menu title]) + describe(menu, principal), "Ferlo >>\n");
  // The 20 by 30 glyph at a height of 16: 20 / 30 * 16 = 10.67, so 11; a
  // resized copy, the shared named image keeps its size.
  NSImage* image = [itemAt(menu, {0}) image];
  CHECK(image != nil && std::lround([image size].width) == 11 && std::lround([image size].height) == 16);
  CHECK([image isTemplate] == NO);
  NSImage* named = [NSImage imageNamed:@"BrandGlyph"];
  CHECK(named != image && std::lround([named size].width) == 20 && std::lround([named size].height) == 30);
  NSMenu* submenu = [itemAt(menu, {0}) submenu];
  CHECK_EQ(str([submenu title]) + "\n" + describe(submenu, principal) + describe([itemAt(menu, {0, 6}) submenu], principal),
           "Ferlo\n" + header("finder.section.rules") + "\nTidy downloads @runRule: >self #fresh =" + kRule +
               "\n @runRule: >self #fresh =7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2\n" + header("finder.section.actions") +
               "\n" + english("finder.action.flatten") + " @runFlatten: >self\n" +
               englishCount("finder.action.merge %lld", 2) + " @runMergeSelected: >self\n" +
               englishCount("finder.expiry.titleMany %lld", 2) + " >>\n" +
               englishCount("finder.expiry.days %lld", 1) + " @setExpiry: >self #1\n" +
               englishCount("finder.expiry.days %lld", 7) + " @setExpiry: >self #7\n" +
               englishCount("finder.expiry.days %lld", 30) + " @setExpiry: >self #30\n---\n" +
               english("finder.expiry.keep") + " @setExpiry: >self\n");
  CHECK_EQ(opens(), "");  // building a menu hands nothing off
}

#pragma mark - Commands

// The chosen item as the Finder delivers it: rebuilt in another process
// from the properties that cross it (title, action, image, enabled, tag,
// submenu; state and indentation too, which our items leave alone). The
// represented object, the styled title, the target and the key equivalent
// stay behind.
NSMenuItem* finderCopyOf(NSMenuItem* item) {
  NSMenuItem* copy = [[[NSMenuItem alloc] initWithTitle:[item title] action:[item action] keyEquivalent:@""] autorelease];
  [copy setImage:[item image]];
  [copy setEnabled:[item isEnabled]];
  [copy setTag:[item tag]];
  if ([item submenu] != nil) [copy setSubmenu:[[[item submenu] copy] autorelease]];
  return copy;
}

// Picking an item of the menu: the action goes to the item's target with
// the Finder's copy of the item as the sender (or, for one row, the item
// itself, as a plain AppKit menu sends it), through to the written request
// and the open of the host. A copy whose tag no menu of this process made
// writes nothing and opens nothing.
void testMenuItemsWriteTheirRequest() {
  const std::string rule = R"({"action":"runRule","folders":["@\/Old photos"],"ruleID":")" + kRule + R"("})";
  const struct {
    const char* name;
    std::vector<NSInteger> path;
    std::string expected;  // "": nothing written
    bool originalItem = false;
    NSInteger tagOffset = 0;
  } rows[] = {
      {"rule", {0, 1}, rule},
      {"rule, the original item", {0, 1}, rule, true},
      {"rule, a tag this process did not make", {0, 1}, "", false, 1000},
      {"flatten", {0, 4}, R"({"action":"flattenFolder","folders":["@\/Old photos"]})"},
      {"merge", {0, 5}, R"({"action":"mergeFolders","folders":["@\/Old photos","@\/Caf)" "\xC3\xA9" R"( menu"]})"},
      {"expiry 7 days", {0, 6, 1},
       R"({"action":"expireFiles","folders":[],"files":["@\/watched\/x.txt","@\/watched\/sub\/..\/y.txt"],"days":7})"},
  };
  for (const auto& row : rows) {
    currentCase = std::string("menu items write their request: ") + row.name;
    Scene scene;
    FinderSync* principal = newPrincipal();
    NSMenuItem* item = itemAt([principal menuForMenuKind:FIMenuKindContextualMenuForItems], row.path);
    CHECK(item != nil && [item action] != nullptr && [item target] == principal);
    if (item == nil || [item action] == nullptr) continue;
    NSMenuItem* sender = row.originalItem ? item : finderCopyOf(item);
    if (!row.originalItem) [sender setTag:[sender tag] + row.tagOffset];
    [[item target] performSelector:[item action] withObject:sender];
    CHECK_EQ(scene.request(), scene.expected(row.expected));
    CHECK_EQ(opens(), row.expected.empty() ? "" : handOff());
  }
}

// What the menu cannot show: the targeted folder through the real call, a
// command stopped by its guard, a write that fails.
void testCommandsOutsideTheMenu() {
  {
    currentCase = "flatten with nothing selected names the targeted folder";
    Scene scene;
    scene.select(nil);
    [newPrincipal() runFlatten:nil];
    CHECK(scene.request().empty() && opens().empty());
    [[FIFinderSyncController defaultController] setTargetedURL:fileURL(scene.path("Caf\xC3\xA9 menu"), false)];
    [newPrincipal() runFlatten:nil];
    CHECK_EQ(scene.request(), scene.expected(R"({"action":"flattenFolder","folders":["@\/Caf)" "\xC3\xA9" R"( menu"]})"));
    CHECK_EQ(opens(), handOff());
  }
  {
    currentCase = "request name taken by a directory: it stays, hand-off all the same";
    Scene scene;
    fs::create_directories(scene.container / "tool-request.json");
    std::ofstream(scene.container / "tool-request.json" / "keep") << "previous";
    [newPrincipal() runFlatten:nil];
    CHECK_EQ(readFile(scene.container / "tool-request.json" / "keep") + opens(), "previous" + handOff());
  }
}

#pragma mark - Action methods

// The Finder calls a command by its selector name: the class's action
// methods (void, one object argument) and the core's table of commands must
// name the same set. A row without its method would be a menu item the
// Finder cannot deliver; a method without its row, a command the menu never
// offers and `ferlo send` cannot reach.
void testActionMethodsAreTheCommandTable() {
  std::set<std::string> table, actions;
  for (const ferlo::MenuCommand& command : ferlo::kMenuCommands) table.insert(std::string(command.name));
  unsigned count = 0;
  Method* methods = class_copyMethodList([FinderSync class], &count);
  for (unsigned i = 0; i < count; ++i) {
    // Returns void, takes one object. GNU's runtime leaves the frame offset
    // after the type ("v24"), Apple's does not ("v").
    char* result = method_copyReturnType(methods[i]);
    char* argument = method_getNumberOfArguments(methods[i]) == 3 ? method_copyArgumentType(methods[i], 2) : nullptr;
    const bool action = result[0] == 'v' && argument != nullptr && argument[0] == '@';
    if (action) actions.insert(sel_getName(method_getName(methods[i])));
    free(result), free(argument);
  }
  free(methods);
  const auto names = [](const auto& set) { return std::accumulate(set.begin(), set.end(), std::string()); };
  CHECK_EQ(names(actions), names(table));
}

#pragma mark - Sender conversion

// The sender as the core sees it: its object (kind and text), tag and title.
void testSenderConversion() {
  auto item = [](id represented, NSInteger tag) -> id {
    NSMenuItem* made = [[[NSMenuItem alloc] initWithTitle:@"x" action:nullptr keyEquivalent:@""] autorelease];
    [made setRepresentedObject:represented];
    [made setTag:tag];
    return made;
  };
  const std::pair<id, std::string> rows[] = {
      {item([NSMutableString stringWithString:@"Caf\u00e9"], 3), "string \"Caf\xC3\xA9\" #3 x"},
      {item([NSNumber numberWithInt:7], 7), "other \"\" #7 x"},
      {item(nil, -30), "none \"\" #-30 x"},
      {item(nil, NSIntegerMax), "none \"\" #" + std::to_string(NSIntegerMax) + " x"},
      {@"a string sender", "none \"\" #0 (no title)"},
      {nil, "none \"\" #0 (no title)"},
  };
  using Kind = ferlo::Sender::ObjectKind;
  for (const auto& [object, expected] : rows) {
    const ferlo::Sender s = ferlo::senderFromObject(object);
    CHECK_EQ(std::string(s.objectKind == Kind::string ? "string" : s.objectKind == Kind::other ? "other" : "none") +
                 " \"" + s.objectString + "\" #" + std::to_string(s.tag) + " " + s.title.value_or("(no title)"),
             expected);
  }
}

#pragma mark - Main

const struct {
  const char* name;
  void (*run)();
} kCases[] = {
    {"Info.plist names the principal class, whose init registers the home", testBundleAndPrincipalObject},
    {"menus that stay empty", testMenusThatStayEmpty},
    {"full menu", testFullMenu},
    {"menu items write their request", testMenuItemsWriteTheirRequest},
    {"commands outside the menu", testCommandsOutsideTheMenu},
    {"the action methods are the table of commands", testActionMethodsAreTheCommandTable},
    {"sender conversion", testSenderConversion},
};

}  // namespace

int main() {
  int failedCases = 0;
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  [NSApplication sharedApplication];
  for (const auto& testCase : kCases) {
    currentCase = testCase.name;
    const int failedBefore = failedChecks;
    NSAutoreleasePool* casePool = [[NSAutoreleasePool alloc] init];
    @try {
      testCase.run();
    } @catch (id exception) {
      ++failedChecks;
      std::fprintf(stderr, "FAIL [%s] exception: %s\n", currentCase.c_str(), str([exception description]).c_str());
    }
    [casePool release];
    failedCases += failedChecks != failedBefore;
    std::printf("%s %s\n", failedChecks == failedBefore ? "[  OK  ]" : "[FAILED]", testCase.name);
  }
  [pool release];
  std::printf("%d failed checks; %d of %zu cases failed\n", failedChecks, failedCases, sizeof kCases / sizeof kCases[0]);
  return failedChecks == 0 ? 0 : 1;
}
