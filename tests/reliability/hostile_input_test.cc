// Hostile files and inputs through the real POSIX stand-in: whatever
// "rules.json" is or does, and however large or strange the manifest and
// the selection, the extension answers with its documented result (a menu
// without entries, a request written as it should be) without crashing,
// hanging or growing without bound.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "exchange/shared_container.h"
#include "extension/menu_builder.h"
#include "extension/selection.h"
#include "tests/extension/extension_test_support.h"
#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

using ferlo::testing::describe;
using ferlo::testing::fileBytes;
using ferlo::testing::putFile;

// ---- what "rules.json" is ----

struct RulesFileCase {
  const char* name;
  std::function<void(const std::string& path)> make;
};

void PrintTo(const RulesFileCase& c, std::ostream* os) { *os << c.name; }

const RulesFileCase kUnreadableRules[] = {
    {"Directory", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }},
    {"FifoWithoutWriter", [](const std::string& p) { ::mkfifo(p.c_str(), 0644); }},
    {"LinkToDevZero", [](const std::string& p) { (void)::symlink("/dev/zero", p.c_str()); }},
    {"LinkToDevUrandom", [](const std::string& p) { (void)::symlink("/dev/urandom", p.c_str()); }},
    {"DanglingLink", [](const std::string& p) { (void)::symlink("/nonexistent/rules.json", p.c_str()); }},
    {"LinkLoop", [](const std::string& p) { (void)::symlink(p.c_str(), p.c_str()); }},
    {"Empty", [](const std::string& p) { putFile(p, ""); }},
    {"RandomBytes", [](const std::string& p) { putFile(p, std::string("\x89PNG\r\n\x1a\n\0\xff{", 12)); }},
};

class UnreadableRulesTest : public ::testing::TestWithParam<RulesFileCase> {};

// No manifest: no entry in the menu, and an expiry command has no roots, so
// it writes nothing and does not hand off.
TEST_P(UnreadableRulesTest, MenuIsEmptyAndExpiryDoesNothing) {
  Container container;
  GetParam().make(container / kRulesName);
  PosixPlatform posix(healthyConfig(container, std::vector{FileURL::fileURLWithPath("/home/user/w/a", false)}));
  ExtensionContext context(posix);
  FinderSync finderSync(context);

  EXPECT_TRUE(finderSync.menuForMenuKind(0).items.empty());
  EXPECT_FALSE(loadRuleManifest(posix, context.identity()).has_value());
  finderSync.perform(Selector::setExpiry, Sender::withTag(1));
  EXPECT_FALSE(fileBytes(container / kRequestName).has_value());
  EXPECT_TRUE(posix.opens().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, UnreadableRulesTest, ::testing::ValuesIn(kUnreadableRules),
                         [](const auto& info) { return std::string(info.param.name); });

// A host that keeps appending to the manifest while we read it: the read
// takes the size the file had when it was opened, so every menu is the whole
// manifest's menu (trailing white space is still one JSON text), and no read
// chases the writer.
TEST(ChangingRules, FileThatGrowsWhileRead) {
  Container container;
  const std::string path = container / kRulesName;
  putFile(path, manifestText(50));
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);
  const std::string expected = describe(buildMenu(0, context));
  ASSERT_NE(expected.find("rule 49"), std::string::npos);

  std::atomic<bool> done{false};
  std::thread host([&] {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    const std::string blanks(64 * 1024, ' ');
    // Bounded: at most 32 MiB, whether or not the reader is done by then.
    for (int i = 0; i < 512 && !done.load(); ++i) (void)::write(fd, blanks.data(), blanks.size());
    ::close(fd);
  });
  int wrong = 0;
  for (int i = 0; i < 40; ++i) wrong += describe(buildMenu(0, context)) != expected;
  done = true;
  host.join();
  EXPECT_EQ(wrong, 0);
}

// A host that replaces the manifest between (and during) our reads. Replaced
// by rename, every menu is that of one manifest or the other. Rewritten in
// place (truncated, then written), a read may catch a part; a part never
// decodes, so such a menu is empty, never a mixture.
struct ReplaceCase {
  const char* name;
  bool inPlace;
};

class ReplacedRulesTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplacedRulesTest, EveryMenuIsOneManifestsOrEmpty) {
  Container container;
  const std::string path = container / kRulesName;
  const std::string a = manifestText(3);
  const std::string b = manifestText(200);
  putFile(path, a);
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);
  const std::string menuA = describe(buildMenu(0, context));
  putFile(path, b);
  const std::string menuB = describe(buildMenu(0, context));
  const std::string empty = describe(Menu{});

  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < 4000 && !done.load(); ++i) {
      const std::string& next = i % 2 ? a : b;
      if (GetParam().inPlace) {
        putFile(path, next);
      } else {
        const std::string staging = container / "rules.staging";
        putFile(staging, next);
        ::rename(staging.c_str(), path.c_str());
      }
    }
  });
  int mixed = 0;
  int emptyMenus = 0;
  for (int i = 0; i < 300; ++i) {
    const std::string menu = describe(buildMenu(0, context));
    if (menu == empty) {
      ++emptyMenus;
    } else if (menu != menuA && menu != menuB) {
      ++mixed;
    }
  }
  done = true;
  host.join();
  EXPECT_EQ(mixed, 0);
  if (!GetParam().inPlace) {
    EXPECT_EQ(emptyMenus, 0) << "a rename never shows a missing or partial file";
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ReplacedRulesTest,
                         ::testing::Values(ReplaceCase{"ByRename", false}, ReplaceCase{"InPlace", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- large and strange manifests ----

TEST(LargeManifest, MillionRulesLoadInOrderInBoundedMemory) {
  const std::size_t count = kSanitized ? 100'000 : 1'000'000;
  Container container;
  const std::string text = manifestText(count, {"/home/user/w"});
  putFile(container / kRulesName, text);
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);

  const std::size_t before = peakResidentBytes();
  const std::optional<RuleManifest> manifest = loadRuleManifest(posix, context.identity());
  const std::size_t grown = peakResidentBytes() - before;
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->rules.size(), count);
  EXPECT_EQ(manifest->rules.front().name, "rule 0");
  EXPECT_EQ(manifest->rules.back().name, "rule " + std::to_string(count - 1));
  // The file, its parse and the records: a small multiple of the text, never
  // more (the sanitizers' own bookkeeping makes the figure meaningless there).
  if (!kSanitized) {
    EXPECT_LT(grown, 8 * text.size()) << "text " << text.size() << " bytes";
  }
  std::printf("%zu rules: %zu bytes of text, peak resident set grew by %zu bytes\n", count, text.size(), grown);
}

TEST(LargeManifest, MenuListsHundredThousandRules) {
  Container container;
  putFile(container / kRulesName, manifestText(100'000));
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);
  const Menu menu = buildMenu(0, context);
  ASSERT_EQ(menu.items.size(), 1u);
  const auto& items = menu.items[0].submenu->items;
  ASSERT_GT(items.size(), 100'000u);
  EXPECT_EQ(items[1].title, "rule 0");
  EXPECT_EQ(items[100'000].title, "rule 99999");
}

TEST(LargeManifest, MegabyteNameIsKeptWhole) {
  Container container;
  std::string name(1 << 20, 'n');
  name[12345] = '/';
  RuleManifest manifest;
  manifest.rules.push_back({*parseUuid(kRuleId), name});
  putFile(container / kRulesName, encodeRuleManifest(manifest));
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);
  const Menu menu = buildMenu(0, context);
  ASSERT_EQ(menu.items.size(), 1u);
  EXPECT_EQ(menu.items[0].submenu->items.at(1).title, name);
}

// Deep nesting fails the whole text wherever it is, and the parser does not
// recurse, so 100,000 levels cost no stack.
TEST(LargeManifest, DeepNestingInAnIgnoredMemberGivesNoManifest) {
  Container container;
  const std::size_t depth = 100'000;
  const std::string text = R"({"rules":[],"ignored":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
  putFile(container / kRulesName, text);
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);
  EXPECT_TRUE(buildMenu(0, context).items.empty());
}

struct NameCase {
  const char* name;
  const char* json;       // the "name" member's text in the file
  std::string expected;   // the rule's title, byte for byte; empty: no manifest
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

const NameCase kNames[] = {
    {"NoncharacterFFFF", R"("\uFFFF")", "\xEF\xBF\xBF"},
    {"NoncharacterFDD0", R"("\uFDD0")", "\xEF\xB7\x90"},
    {"Noncharacter10FFFF", R"("\uDBFF\uDFFF")", "\xF4\x8F\xBF\xBF"},
    {"RawNoncharacter", "\"\xEF\xBF\xBE\"", "\xEF\xBF\xBE"},
    {"LineSeparatorEscaped", R"("a\u2028b")", "a\xE2\x80\xA8" "b"},
    {"LineSeparatorRaw", "\"a\xE2\x80\xA8" "b\"", "a\xE2\x80\xA8" "b"},
    {"ParagraphSeparator", R"("\u2029")", "\xE2\x80\xA9"},
    {"NulEscape", R"("a\u0000b")", std::string("a\0b", 3)},
    {"OnlyNul", R"("\u0000")", std::string(1, '\0')},
    {"ByteOrderMark", R"("\uFEFF")", "\xEF\xBB\xBF"},
    {"LoneHighSurrogate", R"("\uD800")", ""},
    {"LoneLowSurrogate", R"("\uDC00x")", ""},
    {"InvalidUtf8", "\"\xC0\xAF\"", ""},
    {"EncodedSurrogate", "\"\xED\xA0\x80\"", ""},
};

class UnicodeNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(UnicodeNameTest, TitleIsTheNameVerbatimOrThereIsNoManifest) {
  Container container;
  putFile(container / kRulesName,
          std::string(R"({"rules":[{"id":")") + kRuleId + R"(","name":)" + GetParam().json + "}]}");
  PosixPlatform posix(healthyConfig(container));
  ExtensionContext context(posix);
  const Menu menu = buildMenu(0, context);
  if (GetParam().expected.empty()) {
    EXPECT_TRUE(menu.items.empty());
    return;
  }
  ASSERT_EQ(menu.items.size(), 1u);
  EXPECT_EQ(menu.items[0].submenu->items.at(1).title, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, UnicodeNameTest, ::testing::ValuesIn(kNames),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- large selections ----

TEST(LargeSelection, HundredThousandItemsGiveOneWholeRequest) {
  const std::size_t count = 100'000;
  Container container;
  putFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  std::vector<FileURL> selection;
  std::vector<std::string> expectedFiles;
  selection.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    // Every third item lies outside the root, every fifth is a folder.
    const std::string path = (i % 3 == 0 ? "/home/user/other/" : "/home/user/w/") + std::to_string(i);
    const bool folder = i % 5 == 0;
    selection.push_back(FileURL::fileURLWithPath(path, folder));
    if (i % 3 != 0 && !folder) expectedFiles.push_back(path);
  }
  PosixPlatform posix(healthyConfig(container, selection));
  ExtensionContext context(posix);
  FinderSync finderSync(context);
  EXPECT_EQ(selectedFileURLs(posix, {"/home/user/w"}).size(), expectedFiles.size());
  finderSync.perform(Selector::setExpiry, Sender::withTag(30));

  const std::optional<std::string> written = fileBytes(container / kRequestName);
  ASSERT_TRUE(written.has_value());
  const Decoded<ToolRequest> request = decodeToolRequest(*written);
  ASSERT_TRUE(request.value.has_value());
  EXPECT_EQ(request.value->files, expectedFiles);
  EXPECT_EQ(request.value->days, 30);
  EXPECT_EQ(posix.opens().size(), 1u);
}

// Paths as long as a path may be (PATH_MAX is 4,096 bytes with its NUL) and
// longer: they are text in the request, never opened, so they pass whole.
TEST(LargeSelection, LongPathsPassWhole) {
  Container container;
  putFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  std::vector<std::string> paths;
  for (const std::size_t length : {4095u, 4096u, 65536u}) {
    std::string path = "/home/user/w/";
    while (path.size() < length) path += (path.size() % 200 == 0) ? '/' : 'x';
    path.resize(length);
    if (path.back() == '/') path.back() = 'x';
    paths.push_back(path);
  }
  std::vector<FileURL> selection;
  for (const std::string& path : paths) selection.push_back(FileURL::fileURLWithPath(path, false));
  PosixPlatform posix(healthyConfig(container, selection));
  ExtensionContext context(posix);
  FinderSync finderSync(context);
  finderSync.perform(Selector::setExpiry, Sender::withTag(0));

  const Decoded<ToolRequest> request = decodeToolRequest(fileBytes(container / kRequestName).value_or(""));
  ASSERT_TRUE(request.value.has_value());
  EXPECT_EQ(request.value->files, paths);
  EXPECT_FALSE(request.value->days.has_value()) << "the keep choice";
}

}  // namespace
}  // namespace ferlo::reliability
