// The principal class FinderSync, driven as the Finder drives it, on
// GNUstep: init, the toolbar texts, menuForMenuKind: with the real NSMenu
// inspected, and menu actions sent to their targets with the item as the
// sender, checked by the bytes of tool-request.json and the recorded open of
// the host application.
//
// A small harness of its own: every case runs in its own autorelease pool
// and @try, so that an Objective-C exception fails the case instead of
// reaching AppKit's uncaught-exception panel. Manual reference counting, as
// everything on GNUstep.
#import "appex/FinderSync.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#include <pwd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#import "platform/macos/foundation_text.h"
#import "appex/sender_conversion.h"

namespace {

namespace fs = std::filesystem;

#pragma mark - Harness

int passedChecks = 0;
int failedChecks = 0;
std::string currentCase;

void check(bool ok, const std::string& what, int line) {
  if (ok) {
    ++passedChecks;
    return;
  }
  ++failedChecks;
  std::fprintf(stderr, "FAIL [%s] line %d: %s\n", currentCase.c_str(), line, what.c_str());
}

void checkEqual(const std::string& actual, const std::string& expected, const char* expression, int line) {
  check(actual == expected, std::string(expression) + "\n    actual:   \"" + actual + "\"\n    expected: \"" + expected + "\"",
        line);
}

#define CHECK(condition) check((condition), #condition, __LINE__)
#define CHECK_EQ(actual, expected) checkEqual((actual), (expected), #actual, __LINE__)

std::string str(NSString* text) { return ferlo::toStdString(text); }
NSString* ns(const std::string& text) { return ferlo::toNSString(text); }

#pragma mark - Values the bundle was built with

const std::string kAppGroup = FERLO_TEST_APP_GROUP;
const std::string kBundleIdentifier = FERLO_TEST_BUNDLE_IDENTIFIER;
// The extension's identifier less its last component.
const std::string kHostIdentifier = kBundleIdentifier.substr(0, kBundleIdentifier.rfind('.'));

// The English table, read directly: the layer must find the same texts
// through NSLocalizedString and the main bundle.
NSDictionary* englishTable() {
  static NSDictionary* table = nil;
  if (table == nil) {
    NSString* text = [NSString stringWithContentsOfFile:@FERLO_TEST_ENGLISH_STRINGS];
    table = [[text propertyListFromStringsFileFormat] retain];
  }
  return table;
}

std::string english(const std::string& key) {
  NSString* text = [englishTable() objectForKey:ns(key)];
  return text != nil ? str(text) : key;
}

std::string englishCount(const std::string& key, long long n) {
  return str([NSString stringWithFormat:ns(english(key)), n]);
}

#pragma mark - URLs and files

// URL text for a path, percent-encoded byte by byte, written out here so
// that the tests do not depend on how GNUstep builds file URLs.
std::string fileURLText(const std::string& path, bool directory) {
  static const char* hex = "0123456789ABCDEF";
  std::string text = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      text.push_back(static_cast<char>(c));
    } else {
      text.push_back('%');
      text.push_back(hex[c >> 4]);
      text.push_back(hex[c & 15]);
    }
  }
  if (directory && text.back() != '/') text.push_back('/');
  return text;
}

NSURL* fileURL(const std::string& path, bool directory) {
  return [NSURL URLWithString:ns(fileURLText(path, directory))];
}

// A path as the request writes it: every "/" as "\/".
std::string jsonPath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '/') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::optional<std::string> readFile(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The application whose bundle holds this program's bundle: the program is
// H.app/Contents/<name>, its bundle H.app/Contents/Resources/<name>.
std::string hostApplicationPath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  return fs::path(std::string(buffer, static_cast<std::size_t>(length))).parent_path().parent_path().string();
}

#pragma mark - Scene

// One case's world: a temporary directory holding the group containers, a
// watched root and the folders the Finder selects; the host application
// running; no selection; no opens recorded.
struct Scene {
  fs::path root;
  fs::path containers;
  fs::path container;
  std::string watched;  // the manifest's watched root
  std::string oldPhotos;
  std::string cafeMenu;  // a folder name with a space and an "é"

  Scene() {
    char pattern[] = "/tmp/ferlo-gnustep-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
      std::perror("mkdtemp");
      std::exit(2);
    }
    root = made;
    containers = root / "containers";
    container = containers / kAppGroup;
    fs::create_directories(container);
    watched = (root / "watched").string();
    oldPhotos = (root / "Old photos").string();
    cafeMenu = (root / "Caf\xC3\xA9 menu").string();
    setenv("FERLO_GROUP_CONTAINERS", containers.c_str(), 1);
    [NSRunningApplication ferloSetRunningBundleIdentifiers:[NSArray arrayWithObject:ns(kHostIdentifier)]];
    [[NSWorkspace sharedWorkspace] ferloForgetRecordedOpens];
    [[FIFinderSyncController defaultController] setSelectedItemURLs:nil];
    [[FIFinderSyncController defaultController] setTargetedURL:nil];
  }
  ~Scene() {
    std::error_code error;
    fs::remove_all(root, error);
  }

  void writeManifest(const std::string& json) const { writeFile(container / "rules.json", json); }

  // Two rules (the first id in lower case, the second name empty) and the
  // watched root.
  void writeStandardManifest() const {
    writeManifest(R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy downloads"},)"
                  R"({"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":""}],"watchedRoots":[")" +
                  watched + R"("]})");
  }

  // Two folders, then two files under the watched root (one spelled with
  // "..") and one outside it.
  void selectStandardItems() const {
    NSArray* items = [NSArray arrayWithObjects:fileURL(oldPhotos, true), fileURL(cafeMenu, true),
                                               fileURL(watched + "/x.txt", false),
                                               fileURL(watched + "/sub/../y.txt", false),
                                               fileURL((root / "elsewhere/z.txt").string(), false), nil];
    [[FIFinderSyncController defaultController] setSelectedItemURLs:items];
  }

  void select(NSArray* items) const { [[FIFinderSyncController defaultController] setSelectedItemURLs:items]; }

  [[nodiscard]] std::optional<std::string> request() const { return readFile(container / "tool-request.json"); }
};

NSArray* opens() { return [[NSWorkspace sharedWorkspace] ferloRecordedOpens]; }

// Exactly one open, of the host application, activating it.
void checkHandedOffOnce(int line) {
  NSArray* recorded = opens();
  check([recorded count] == 1, "one hand-off, got " + std::to_string([recorded count]), line);
  if ([recorded count] != 1) return;
  FerloRecordedOpen* open = [recorded objectAtIndex:0];
  checkEqual(str([[open url] absoluteString]), fileURLText(hostApplicationPath(), true), "hand-off URL", line);
  check([open activates] == YES, "the hand-off activates the host", line);
}

NSMenuItem* itemAt(NSMenu* menu, std::initializer_list<NSInteger> path) {
  NSMenuItem* item = nil;
  for (NSInteger index : path) {
    if (menu == nil || index >= [menu numberOfItems]) return nil;
    item = [menu itemAtIndex:index];
    menu = [item hasSubmenu] ? [item submenu] : nil;
  }
  return item;
}

FinderSync* newPrincipal() { return [[[FinderSync alloc] init] autorelease]; }

#pragma mark - Bundle and principal object

void testInfoPlistNamesThePrincipalClass() {
  NSBundle* bundle = [NSBundle mainBundle];
  CHECK_EQ(str([bundle bundleIdentifier]), kBundleIdentifier);
  CHECK_EQ(str([bundle objectForInfoDictionaryKey:@"TarvelinAppGroup"]), kAppGroup);
  NSDictionary* extension = [bundle objectForInfoDictionaryKey:@"NSExtension"];
  CHECK([extension isKindOfClass:[NSDictionary class]]);
  CHECK_EQ(str([extension objectForKey:@"NSExtensionPointIdentifier"]), "com.apple.FinderSync");
  Class principal = NSClassFromString([extension objectForKey:@"NSExtensionPrincipalClass"]);
  CHECK(principal == [FinderSync class]);
  CHECK([principal isSubclassOfClass:[FIFinderSync class]]);
}

void testInitRegistersTheHomeDirectoryEveryTime() {
  Scene scene;
  passwd* entry = getpwuid(getuid());
  CHECK(entry != nullptr && entry->pw_dir != nullptr);
  if (entry == nullptr || entry->pw_dir == nullptr) return;
  const std::string expected = fileURLText(entry->pw_dir, true);

  FIFinderSyncController* controller = [FIFinderSyncController defaultController];
  for (int round = 0; round < 2; ++round) {
    // Whatever was registered before, init leaves exactly the home directory.
    [controller setDirectoryURLs:[NSSet setWithObject:[NSURL URLWithString:@"file:///elsewhere/"]]];
    FinderSync* principal = newPrincipal();
    CHECK(principal != nil);
    NSSet* directories = [controller directoryURLs];
    CHECK([directories count] == 1);
    CHECK_EQ(str([[directories anyObject] absoluteString]), expected);
  }
  CHECK(scene.request() == std::nullopt);  // init writes nothing
  CHECK([opens() count] == 0);
}

void testToolbarTexts() {
  FinderSync* principal = newPrincipal();
  CHECK_EQ(str([principal toolbarItemName]), "Ferlo");
  CHECK_EQ(str([principal toolbarItemToolTip]), "Ferlo");
}

#pragma mark - Menus

void testMenusThatStayEmpty() {
  struct Row {
    const char* name;
    NSUInteger kind;
    std::function<void(Scene&)> arrange;
  };
  const std::vector<Row> rows = {
      {"sidebar", 2, [](Scene&) {}},
      {"toolbar item", 3, [](Scene&) {}},
      {"unknown kind", 4, [](Scene&) {}},
      {"largest kind", NSUIntegerMax, [](Scene&) {}},
      {"host not running", 0,
       [](Scene&) { [NSRunningApplication ferloSetRunningBundleIdentifiers:[NSArray array]]; }},
      {"only the compiled-in host runs", 1,
       [](Scene&) {
         [NSRunningApplication ferloSetRunningBundleIdentifiers:[NSArray arrayWithObject:@FERLO_TEST_DEFAULT_HOST]];
       }},
      {"no container", 0,
       [](Scene& scene) {
         std::error_code error;
         fs::remove_all(scene.container, error);
       }},
      {"no rules.json", 1,
       [](Scene& scene) {
         std::error_code error;
         fs::remove(scene.container / "rules.json", error);
       }},
      {"rules.json not a manifest", 0, [](Scene& scene) { scene.writeManifest(R"({"rules":[{"id":"x","name":"a"}]})"); }},
      {"rules.json a directory", 1,
       [](Scene& scene) {
         std::error_code error;
         fs::remove(scene.container / "rules.json", error);
         fs::create_directory(scene.container / "rules.json", error);
       }},
  };
  for (const Row& row : rows) {
    Scene scene;
    scene.writeStandardManifest();
    scene.selectStandardItems();
    row.arrange(scene);
    NSMenu* menu = [newPrincipal() menuForMenuKind:(FIMenuKind)row.kind];
    check(menu != nil, std::string(row.name) + ": a menu, never nil", __LINE__);
    check([menu numberOfItems] == 0, std::string(row.name) + ": no items", __LINE__);
    CHECK_EQ(str([menu title]), "");
  }
}

// What a menu item should be; the tag and represented object are checked
// only where set.
// A rule item's tag: made afresh by every menu, with the process's
// identifier above the low 31 bits; whether it finds its rule is the
// commands' test.
constexpr NSInteger kFreshRuleTag = -1;

struct ExpectedItem {
  std::string title;
  const char* action;  // nullptr: none
  bool targetsPrincipal;
  NSInteger tag;  // or kFreshRuleTag
  const char* representedObject;  // nullptr: none
  bool enabled;
  bool separator;
  bool submenu;
  bool header;  // a section header with a styled title
};

void checkItems(NSMenu* menu, const std::vector<ExpectedItem>& expected, FinderSync* principal, const std::string& where) {
  check([menu numberOfItems] == static_cast<NSInteger>(expected.size()),
        where + ": " + std::to_string([menu numberOfItems]) + " items, expected " + std::to_string(expected.size()),
        __LINE__);
  NSFont* headerFont = [NSFont systemFontOfSize:[NSFont smallSystemFontSize] weight:NSFontWeightSemibold];
  for (std::size_t i = 0; i < expected.size() && static_cast<NSInteger>(i) < [menu numberOfItems]; ++i) {
    const ExpectedItem& want = expected[i];
    NSMenuItem* item = [menu itemAtIndex:static_cast<NSInteger>(i)];
    const std::string at = where + "[" + std::to_string(i) + "] ";
    check([item isSeparatorItem] == want.separator, at + "separator", __LINE__);
    if (want.separator) continue;
    checkEqual(str([item title]), want.title, (at + "title").c_str(), __LINE__);
    checkEqual(str([item keyEquivalent]), "", (at + "key equivalent").c_str(), __LINE__);
    // AppKit gives an item with a submenu an action and target of its own
    // (submenuAction:); the extension sets neither on such items.
    if (!want.submenu) {
      checkEqual([item action] != nullptr ? str(NSStringFromSelector([item action])) : "(none)",
                 want.action != nullptr ? want.action : "(none)", (at + "action").c_str(), __LINE__);
      check([item target] == (want.targetsPrincipal ? principal : nil), at + "target", __LINE__);
    }
    check(want.tag == kFreshRuleTag ? [item tag] >= (NSInteger{1} << 31) : [item tag] == want.tag,
          at + "tag " + std::to_string([item tag]), __LINE__);
    id represented = [item representedObject];
    if (want.representedObject != nullptr) {
      check([represented isKindOfClass:[NSString class]], at + "represented object is a string", __LINE__);
      checkEqual(str(represented), want.representedObject, (at + "represented object").c_str(), __LINE__);
    } else {
      check(represented == nil, at + "no represented object", __LINE__);
    }
    check([item isEnabled] == want.enabled, at + "enabled", __LINE__);
    check([item hasSubmenu] == want.submenu, at + "submenu", __LINE__);
    NSAttributedString* styled = [item attributedTitle];
    if (want.header) {
      checkEqual(str([styled string]), str([ns(want.title) uppercaseString]), (at + "styled title").c_str(), __LINE__);
      NSRange range;
      NSDictionary* attributes = [styled attributesAtIndex:0 effectiveRange:&range];
      check(range.location == 0 && range.length == [styled length], at + "one attribute run", __LINE__);
      check([attributes count] == 2, at + "exactly two attributes", __LINE__);
      check([[attributes objectForKey:NSFontAttributeName] isEqual:headerFont], at + "small semibold system font",
            __LINE__);
      check([[attributes objectForKey:NSForegroundColorAttributeName] isEqual:[NSColor secondaryLabelColor]],
            at + "secondary label colour", __LINE__);
    } else {
      // Without a styled title the item shows its plain title; on GNUstep
      // the attributed title then reads as nil or as the plain text.
      check(styled == nil || [[styled string] isEqualToString:[item title]], at + "no styled title", __LINE__);
    }
  }
}

void testFullMenu() {
  for (NSUInteger kind : {0u, 1u}) {
    Scene scene;
    scene.writeStandardManifest();
    scene.selectStandardItems();
    FinderSync* principal = newPrincipal();
    NSMenu* menu = [principal menuForMenuKind:(FIMenuKind)kind];
    const std::string where = "kind " + std::to_string(kind);

    checkItems(menu, {{"Ferlo", nullptr, false, 0, nullptr, true, false, true, false}}, principal, where);
    NSMenuItem* root = itemAt(menu, {0});
    NSImage* image = [root image];
    CHECK(image != nil);
    // The 20 by 30 glyph at a height of 16: 20 / 30 * 16 = 10.67, so 11.
    CHECK(std::lround([image size].width) == 11 && std::lround([image size].height) == 16);
    CHECK([image isTemplate] == NO);
    // A copy was resized; the shared named image keeps its size.
    NSImage* named = [NSImage imageNamed:@"BrandGlyph"];
    CHECK(named != image && std::lround([named size].width) == 20 && std::lround([named size].height) == 30);

    NSMenu* submenu = [root submenu];
    CHECK_EQ(str([submenu title]), "Ferlo");
    checkItems(submenu,
               {
                   {english("finder.section.rules"), nullptr, false, 0, nullptr, false, false, false, true},
                   {"Tidy downloads", "runRule:", true, kFreshRuleTag, "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", true, false, false,
                    false},
                   {"", "runRule:", true, kFreshRuleTag, "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2", true, false, false, false},
                   {english("finder.section.actions"), nullptr, false, 0, nullptr, false, false, false, true},
                   {english("finder.action.flatten"), "runFlatten:", true, 0, nullptr, true, false, false, false},
                   {englishCount("finder.action.merge %lld", 2), "runMergeSelected:", true, 0, nullptr, true, false,
                    false, false},
                   {englishCount("finder.expiry.titleMany %lld", 2), nullptr, false, 0, nullptr, true, false, true,
                    false},
               },
               principal, where + " Ferlo");
    checkItems(itemAt(menu, {0, 6})
                   ? [itemAt(menu, {0, 6}) submenu]
                   : nil,
               {
                   {englishCount("finder.expiry.days %lld", 1), "setExpiry:", true, 1, nullptr, true, false, false, false},
                   {englishCount("finder.expiry.days %lld", 7), "setExpiry:", true, 7, nullptr, true, false, false, false},
                   {englishCount("finder.expiry.days %lld", 30), "setExpiry:", true, 30, nullptr, true, false, false,
                    false},
                   {"", nullptr, false, 0, nullptr, true, true, false, false},
                   {english("finder.expiry.keep"), "setExpiry:", true, 0, nullptr, true, false, false, false},
               },
               principal, where + " expiry");
    CHECK([opens() count] == 0);  // building a menu hands nothing off
  }
}

void testMenuWithoutRulesForOneFolderAndOneFile() {
  Scene scene;
  scene.writeManifest(R"({"rules":[],"watchedRoots":[")" + scene.watched + R"("]})");
  scene.select([NSArray arrayWithObjects:fileURL(scene.oldPhotos, true), fileURL(scene.watched + "/x.txt", false), nil]);
  FinderSync* principal = newPrincipal();
  NSMenu* submenu = [itemAt([principal menuForMenuKind:FIMenuKindContextualMenuForItems], {0}) submenu];
  checkItems(submenu,
             {
                 {english("finder.section.rules"), nullptr, false, 0, nullptr, false, false, false, true},
                 {english("finder.rules.empty"), nullptr, false, 0, nullptr, false, false, false, false},
                 {english("finder.section.actions"), nullptr, false, 0, nullptr, false, false, false, true},
                 {english("finder.action.flatten"), "runFlatten:", true, 0, nullptr, true, false, false, false},
                 // one folder: no merge item; one file: the expiry title without a number
                 {english("finder.expiry.title"), nullptr, false, 0, nullptr, true, false, true, false},
             },
             principal, "no rules");
}

#pragma mark - Commands

// The chosen item as the Finder delivers it: rebuilt in another process
// from the properties that cross it (title, action, image, enabled, tag,
// state, indentation level, submenu). The represented object, the styled
// title, the target and the key equivalent stay behind.
NSMenuItem* finderCopyOf(NSMenuItem* item) {
  NSMenuItem* copy = [[[NSMenuItem alloc] initWithTitle:[item title] action:[item action] keyEquivalent:@""] autorelease];
  [copy setImage:[item image]];
  [copy setEnabled:[item isEnabled]];
  [copy setTag:[item tag]];
  [copy setState:[item state]];
  [copy setIndentationLevel:[item indentationLevel]];
  if ([item submenu] != nil) [copy setSubmenu:[[[item submenu] copy] autorelease]];
  return copy;
}

// Picking an item of the full menu: the action goes to the item's target
// with the Finder's copy of the item as the sender (or, for one row, the
// item itself, as a plain AppKit menu would send it).
void testMenuItemsWriteTheirRequest() {
  struct Row {
    const char* name;
    std::vector<NSInteger> path;
    std::function<std::string(const Scene&)> expected;
    bool originalItem = false;
  };
  auto ruleRequest = [](const Scene& s) {
    return R"({"action":"runRule","folders":[")" + jsonPath(s.oldPhotos) +
           R"("],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})";
  };
  const std::vector<Row> rows = {
      {"rule", {0, 1}, ruleRequest},
      {"rule, the original item", {0, 1}, ruleRequest, true},
      {"flatten", {0, 4}, [](const Scene& s) { return R"({"action":"flattenFolder","folders":[")" + jsonPath(s.oldPhotos) + R"("]})"; }},
      {"merge",
       {0, 5},
       [](const Scene& s) {
         return R"({"action":"mergeFolders","folders":[")" + jsonPath(s.oldPhotos) + R"(",")" + jsonPath(s.cafeMenu) +
                R"("]})";
       }},
      {"expiry 7 days",
       {0, 6, 1},
       [](const Scene& s) {
         return R"({"action":"expireFiles","folders":[],"files":[")" + jsonPath(s.watched + "/x.txt") + R"(",")" +
                jsonPath(s.watched + "/sub/../y.txt") + R"("],"days":7})";
       }},
      {"expiry 30 days",
       {0, 6, 2},
       [](const Scene& s) {
         return R"({"action":"expireFiles","folders":[],"files":[")" + jsonPath(s.watched + "/x.txt") + R"(",")" +
                jsonPath(s.watched + "/sub/../y.txt") + R"("],"days":30})";
       }},
      {"keep",
       {0, 6, 4},
       [](const Scene& s) {
         return R"({"action":"expireFiles","folders":[],"files":[")" + jsonPath(s.watched + "/x.txt") + R"(",")" +
                jsonPath(s.watched + "/sub/../y.txt") + R"("]})";
       }},
  };
  for (const Row& row : rows) {
    currentCase = std::string("menu items write their request: ") + row.name;
    Scene scene;
    scene.writeStandardManifest();
    scene.selectStandardItems();
    FinderSync* principal = newPrincipal();
    NSMenu* menu = [principal menuForMenuKind:FIMenuKindContextualMenuForItems];
    NSMenuItem* item = nil;
    if (row.path.size() == 2) item = itemAt(menu, {row.path[0], row.path[1]});
    if (row.path.size() == 3) item = itemAt(menu, {row.path[0], row.path[1], row.path[2]});
    CHECK(item != nil && [item action] != nullptr && [item target] == principal);
    if (item == nil || [item action] == nullptr) continue;
    NSMenuItem* sender = row.originalItem ? item : finderCopyOf(item);
    CHECK(row.originalItem || [sender representedObject] == nil);
    [[item target] performSelector:[item action] withObject:sender];
    std::optional<std::string> request = scene.request();
    CHECK(request.has_value());
    CHECK_EQ(request.value_or("(no file)"), row.expected(scene));
    checkHandedOffOnce(__LINE__);
  }
}

void testCommandsOutsideTheMenu() {
  {
    currentCase = "flatten with nothing selected names the targeted folder";
    Scene scene;
    [[FIFinderSyncController defaultController] setTargetedURL:fileURL(scene.cafeMenu, false)];
    [newPrincipal() runFlatten:nil];
    CHECK_EQ(scene.request().value_or("(no file)"),
             R"({"action":"flattenFolder","folders":[")" + jsonPath(scene.cafeMenu) + R"("]})");
    checkHandedOffOnce(__LINE__);
  }
  {
    currentCase = "an empty rule id is sent as it is";
    Scene scene;
    scene.select([NSArray arrayWithObject:fileURL(scene.oldPhotos, true)]);
    NSMenuItem* item = [[[NSMenuItem alloc] initWithTitle:@"r" action:@selector(runRule:) keyEquivalent:@""] autorelease];
    [item setRepresentedObject:[NSMutableString string]];
    [newPrincipal() runRule:item];
    CHECK_EQ(scene.request().value_or("(no file)"),
             R"({"action":"runRule","folders":[")" + jsonPath(scene.oldPhotos) + R"("],"ruleID":""})");
    checkHandedOffOnce(__LINE__);
  }
}

// Commands stopped by their guard write nothing and hand nothing off,
// whatever the sender is.
void testGuardedCommandsDoNothing() {
  struct Row {
    const char* name;
    SEL action;
    std::function<id(const Scene&)> sender;
    std::function<void(const Scene&)> arrange;
  };
  auto menuItem = [](id represented, NSInteger tag) -> id {
    NSMenuItem* item = [[[NSMenuItem alloc] initWithTitle:@"x" action:nullptr keyEquivalent:@""] autorelease];
    [item setRepresentedObject:represented];
    [item setTag:tag];
    return item;
  };
  auto oneFolder = [](const Scene& s) { s.select([NSArray arrayWithObject:fileURL(s.oldPhotos, true)]); };
  const std::vector<Row> rows = {
      {"runRule: with a number as represented object", @selector(runRule:),
       [&](const Scene&) { return menuItem([NSNumber numberWithInt:42], 0); }, oneFolder},
      {"runRule: without represented object", @selector(runRule:), [&](const Scene&) { return menuItem(nil, 0); },
       oneFolder},
      // The Finder's copy of a rule item whose tag no menu of this process
      // made (another process's, or one from before a restart).
      {"runRule: with a copy of an item this process did not make", @selector(runRule:),
       [&](const Scene& s) -> id {
         s.writeStandardManifest();
         NSMenuItem* rule = itemAt([newPrincipal() menuForMenuKind:FIMenuKindContextualMenuForItems], {0, 1});
         NSMenuItem* copy = finderCopyOf(rule);
         [copy setTag:[rule tag] + 1000];
         return copy;
       },
       oneFolder},
      {"runRule: from a sender that is not a menu item", @selector(runRule:),
       [](const Scene&) -> id { return @"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"; }, oneFolder},
      {"runRule: from no sender", @selector(runRule:), [](const Scene&) -> id { return nil; }, oneFolder},
      {"runFlatten: with no selection and no target", @selector(runFlatten:), [](const Scene&) -> id { return nil; },
       [](const Scene&) {}},
      {"runMergeSelected: with one folder and a file", @selector(runMergeSelected:),
       [](const Scene&) -> id { return nil; },
       [](const Scene& s) {
         s.select([NSArray arrayWithObjects:fileURL(s.oldPhotos, true), fileURL(s.cafeMenu, false), nil]);
       }},
      {"setExpiry: without watched roots", @selector(setExpiry:), [&](const Scene&) { return menuItem(nil, 7); },
       [](const Scene& s) {
         s.writeManifest(R"({"rules":[]})");
         s.select([NSArray arrayWithObject:fileURL(s.watched + "/x.txt", false)]);
       }},
      {"setExpiry: with no file under a watched root", @selector(setExpiry:),
       [&](const Scene&) { return menuItem(nil, 1); },
       [](const Scene& s) {
         s.writeStandardManifest();
         s.select([NSArray arrayWithObjects:fileURL(s.watched + "/folder", true),
                                            fileURL((s.root / "watchedness/x.txt").string(), false), nil]);
       }},
  };
  for (const Row& row : rows) {
    currentCase = std::string("guarded: ") + row.name;
    Scene scene;
    row.arrange(scene);
    FinderSync* principal = newPrincipal();
    [principal performSelector:row.action withObject:row.sender(scene)];
    CHECK(scene.request() == std::nullopt);
    CHECK([opens() count] == 0);
  }
}

// A write that fails still hands off, and leaves what was there.
void testFailedWriteStillHandsOff() {
  {
    currentCase = "no container: nothing written, hand-off all the same";
    Scene scene;
    scene.select([NSArray arrayWithObject:fileURL(scene.oldPhotos, true)]);
    std::error_code error;
    fs::remove_all(scene.container, error);
    [newPrincipal() runFlatten:nil];
    CHECK(!fs::exists(scene.container, error));  // never created
    checkHandedOffOnce(__LINE__);
  }
  {
    currentCase = "request name taken by a directory: it stays, hand-off all the same";
    Scene scene;
    scene.select([NSArray arrayWithObject:fileURL(scene.oldPhotos, true)]);
    std::error_code error;
    fs::create_directory(scene.container / "tool-request.json", error);
    writeFile(scene.container / "tool-request.json" / "keep", "previous");
    [newPrincipal() runFlatten:nil];
    CHECK(fs::is_directory(scene.container / "tool-request.json", error));
    CHECK(readFile(scene.container / "tool-request.json" / "keep") == std::optional<std::string>("previous"));
    checkHandedOffOnce(__LINE__);
  }
}

#pragma mark - Sender conversion

void testSenderConversion() {
  using Kind = ferlo::Sender::ObjectKind;
  auto item = [](id represented, NSInteger tag) -> id {
    NSMenuItem* made = [[[NSMenuItem alloc] initWithTitle:@"x" action:nullptr keyEquivalent:@""] autorelease];
    [made setRepresentedObject:represented];
    [made setTag:tag];
    return made;
  };
  struct Row {
    const char* name;
    id sender;
    Kind kind;
    std::string string;
    std::int64_t tag;
    std::optional<std::string> title = "x";
  };
  const std::vector<Row> rows = {
      {"string", item(@"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", 0), Kind::string, "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", 0},
      {"mutable string", item([NSMutableString stringWithString:@"Caf\u00e9"], 3), Kind::string, "Caf\xC3\xA9", 3},
      {"number", item([NSNumber numberWithInt:7], 7), Kind::other, "", 7},
      {"URL", item([NSURL URLWithString:@"file:///a/"], -1), Kind::other, "", -1},
      {"no object, negative tag", item(nil, -30), Kind::none, "", -30},
      {"largest tag", item(nil, NSIntegerMax), Kind::none, "", static_cast<std::int64_t>(NSIntegerMax)},
      {"not a menu item", @"a string sender", Kind::none, "", 0, std::nullopt},
      {"nil", nil, Kind::none, "", 0, std::nullopt},
  };
  for (const Row& row : rows) {
    ferlo::Sender sender = ferlo::senderFromObject(row.sender);
    check(sender.objectKind == row.kind, std::string(row.name) + ": object kind", __LINE__);
    checkEqual(sender.objectString, row.string, row.name, __LINE__);
    check(sender.tag == row.tag, std::string(row.name) + ": tag " + std::to_string(sender.tag), __LINE__);
    check(sender.title == row.title, std::string(row.name) + ": title", __LINE__);
  }
}

#pragma mark - Main

struct Case {
  const char* name;
  void (*run)();
};

const Case kCases[] = {
    {"Info.plist names the principal class", testInfoPlistNamesThePrincipalClass},
    {"init registers the home directory every time", testInitRegistersTheHomeDirectoryEveryTime},
    {"toolbar texts", testToolbarTexts},
    {"menus that stay empty", testMenusThatStayEmpty},
    {"full menu", testFullMenu},
    {"menu without rules for one folder and one file", testMenuWithoutRulesForOneFolderAndOneFile},
    {"menu items write their request", testMenuItemsWriteTheirRequest},
    {"commands outside the menu", testCommandsOutsideTheMenu},
    {"guarded commands do nothing", testGuardedCommandsDoNothing},
    {"failed write still hands off", testFailedWriteStillHandsOff},
    {"sender conversion", testSenderConversion},
};

}  // namespace

int main() {
  int failedCases = 0;
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  @try {
    [NSApplication sharedApplication];
    for (const Case& testCase : kCases) {
      currentCase = testCase.name;
      const int failedBefore = failedChecks;
      NSAutoreleasePool* casePool = [[NSAutoreleasePool alloc] init];
      @try {
        testCase.run();
      } @catch (NSException* exception) {
        ++failedChecks;
        std::fprintf(stderr, "FAIL [%s] exception %s: %s\n", currentCase.c_str(), str([exception name]).c_str(),
                     str([exception reason]).c_str());
      } @catch (id other) {
        ++failedChecks;
        std::fprintf(stderr, "FAIL [%s] exception of class %s\n", currentCase.c_str(),
                     str(NSStringFromClass([other class])).c_str());
      }
      [casePool release];
      const bool ok = failedChecks == failedBefore;
      if (!ok) ++failedCases;
      std::printf("%s %s\n", ok ? "[  OK  ]" : "[FAILED]", testCase.name);
    }
  } @catch (NSException* exception) {
    std::fprintf(stderr, "FAIL outside a case: %s: %s\n", str([exception name]).c_str(), str([exception reason]).c_str());
    ++failedChecks;
    ++failedCases;
  }
  [pool release];
  std::printf("%d passed, %d failed (checks); %d of %zu cases failed\n", passedChecks, failedChecks, failedCases,
              sizeof kCases / sizeof kCases[0]);
  return failedChecks == 0 ? 0 : 1;
}
