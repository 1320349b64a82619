// Hostile files and inputs through the real POSIX stand-in: whatever
// "rules.json" is or does, and however large or strange the manifest and
// the selection, the extension answers with its documented result (a menu
// without entries, a request written as it should be) without crashing,
// hanging or growing without bound.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "extension/menu_builder.h"
#include "tests/extension/extension_test_support.h"
#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

using ferlo::testing::describe;

// ---- what "rules.json" is ----

struct RulesFileCase {
  const char* name;
  std::function<void(const std::string& path)> make;
};

const RulesFileCase kUnreadableRules[] = {
    {"Directory", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }},
    {"FifoWithoutWriter", [](const std::string& p) { ::mkfifo(p.c_str(), 0644); }},
    {"LinkToDevZero", [](const std::string& p) { (void)::symlink("/dev/zero", p.c_str()); }},
    {"LinkToDevUrandom", [](const std::string& p) { (void)::symlink("/dev/urandom", p.c_str()); }},
    {"DanglingLink", [](const std::string& p) { (void)::symlink("/nonexistent/rules.json", p.c_str()); }},
    {"LinkLoop", [](const std::string& p) { (void)::symlink(p.c_str(), p.c_str()); }},
    {"Empty", [](const std::string& p) { putFile(p, ""); }},
    {"RandomBytes", [](const std::string& p) { putFile(p, std::string("\x89PNG\r\n\x1a\n\0\xff{", 12)); }},
    // Refused wherever it is; the parser does not recurse, so 100,000 levels cost no stack.
    {"DeepNestingInAnIgnoredMember",
     [](const std::string& p) { putFile(p, R"({"rules":[],"x":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}"); }},
    {"LoneSurrogateInName",
     [](const std::string& p) { putFile(p, std::string(R"({"rules":[{"id":")") + kRuleId + R"(","name":"\uD800"}]})"); }},
    {"EncodedSurrogateInName",
     [](const std::string& p) { putFile(p, std::string(R"({"rules":[{"id":")") + kRuleId + "\",\"name\":\"\xED\xA0\x80\"}]}"); }},
};

class UnreadableRulesTest : public ::testing::TestWithParam<RulesFileCase> {};

// No manifest: no entry in the menu, and an expiry command has no roots, so
// it writes nothing and does not hand off.
TEST_P(UnreadableRulesTest, MenuIsEmptyAndExpiryDoesNothing) {
  Container container;
  GetParam().make(container / kRulesName);
  Extension<> extension(healthyConfig(container, std::vector{FileURL::fileURLWithPath("/home/user/w/a", false)}));
  EXPECT_TRUE(extension.finderSync.menuForMenuKind(0).items.empty());
  extension.finderSync.perform(Selector::setExpiry, Sender::withTag(1));
  EXPECT_FALSE(fileBytes(container / kRequestName).has_value());
  EXPECT_TRUE(extension.platform.opens().empty());
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
  Extension<> extension(healthyConfig(container));
  const std::string expected = describe(buildMenu(0, extension.context));
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
  for (int i = 0; i < 40; ++i) wrong += describe(buildMenu(0, extension.context)) != expected;
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
  const std::string manifests[] = {manifestText(3), manifestText(200)};
  Extension<> extension(healthyConfig(container));
  std::string menus[2];
  for (int i = 0; i < 2; ++i) {
    putFile(path, manifests[i]);
    menus[i] = describe(buildMenu(0, extension.context));
  }

  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < 4000 && !done.load(); ++i) {
      if (GetParam().inPlace) {
        putFile(path, manifests[i % 2]);
      } else {
        putFile(container / "rules.staging", manifests[i % 2]);
        ::rename((container / "rules.staging").c_str(), path.c_str());
      }
    }
  });
  int mixed = 0;
  int empty = 0;
  for (int i = 0; i < 300; ++i) {
    const Menu menu = buildMenu(0, extension.context);
    const std::string text = describe(menu);
    empty += menu.items.empty();
    mixed += !menu.items.empty() && text != menus[0] && text != menus[1];
  }
  done = true;
  host.join();
  EXPECT_EQ(mixed, 0);
  EXPECT_TRUE(GetParam().inPlace || empty == 0) << empty << " empty menus: a rename never shows a missing or partial file";
}

INSTANTIATE_TEST_SUITE_P(Table, ReplacedRulesTest,
                         ::testing::Values(ReplaceCase{"ByRename", false}, ReplaceCase{"InPlace", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- large and strange manifests ----

// The peak resident set of this process so far, in bytes (Linux reports KiB).
std::size_t peakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

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
  EXPECT_TRUE(kSanitized || grown < 8 * text.size()) << grown << " bytes for a text of " << text.size();
  std::printf("%zu rules: %zu bytes of text, peak resident set grew by %zu bytes\n", count, text.size(), grown);
}

// 100,000 rules in the menu, the first with a name of a megabyte.
TEST(LargeManifest, MenuOfHundredThousandRulesKeepsAMegabyteName) {
  Container container;
  std::string name(1 << 20, 'n');
  name[12345] = '/';
  RuleManifest manifest = *decodeRuleManifest(manifestText(100'000)).value;
  manifest.rules[0].name = name;
  putFile(container / kRulesName, encodeRuleManifest(manifest));
  Extension<> extension(healthyConfig(container));
  const Menu menu = buildMenu(0, extension.context);
  ASSERT_EQ(menu.items.size(), 1u);
  const auto& items = menu.items[0].submenu->items;
  ASSERT_GT(items.size(), 100'000u);
  EXPECT_EQ(items[1].title, name);
  EXPECT_EQ(items[100'000].title, "rule 99999");
}

// ---- large selections ----

// 100,000 items, of which every third lies outside the root and every fifth
// is a folder, and paths as long as a path may be (PATH_MAX is 4,096 bytes
// with its NUL) and longer: they are text in the request, never opened, so
// the request names every file, whole.
TEST(LargeSelection, HundredThousandItemsAndLongPathsGiveOneWholeRequest) {
  Container container;
  putFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  std::vector<FileURL> selection;
  std::vector<std::string> expectedFiles;
  for (std::size_t i = 0; i < 100'000; ++i) {
    const std::string path = (i % 3 == 0 ? "/home/user/other/" : "/home/user/w/") + std::to_string(i);
    selection.push_back(FileURL::fileURLWithPath(path, i % 5 == 0));
    if (i % 3 != 0 && i % 5 != 0) expectedFiles.push_back(path);
  }
  for (const std::size_t length : {4095u, 4096u, 65536u}) {
    std::string path = "/home/user/w/";
    while (path.size() < length) path += (path.size() % 200 == 0) ? '/' : 'x';
    path.back() = 'x';
    expectedFiles.push_back(path);
    selection.push_back(FileURL::fileURLWithPath(path, false));
  }
  Extension<> extension(healthyConfig(container, selection));
  extension.finderSync.perform(Selector::setExpiry, Sender::withTag(30));

  const Decoded<ToolRequest> request = decodeToolRequest(fileBytes(container / kRequestName).value_or(""));
  ASSERT_TRUE(request.value.has_value());
  EXPECT_EQ(request.value->files, expectedFiles);
  EXPECT_EQ(request.value->days, 30);
  EXPECT_EQ(extension.platform.opens().size(), 1u);
}

}  // namespace
}  // namespace ferlo::reliability
