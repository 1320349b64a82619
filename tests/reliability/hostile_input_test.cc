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
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "extension/menu_builder.h"
#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

// ---- what "rules.json" is ----

struct RulesFileCase {
  const char* name;
  void (*make)(const std::string& path);
};

// (A FIFO and a link to /dev/zero: the reader's own table, tests/platform.)
const RulesFileCase kUnreadableRules[] = {
    {"Directory", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }},
    {"DanglingLink", [](const std::string& p) { (void)::symlink("/nonexistent/rules.json", p.c_str()); }},
    {"LinkLoop", [](const std::string& p) { (void)::symlink(p.c_str(), p.c_str()); }},
    // Refused wherever it is; the parser does not recurse, so 100,000 levels cost no stack.
    {"DeepNestingInAnIgnoredMember",
     [](const std::string& p) { writeFile(p, R"({"rules":[],"x":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}"); }},
};

class UnreadableRulesTest : public ::testing::TestWithParam<RulesFileCase> {};

// No manifest: no entry in the menu, and an expiry command has no roots, so
// it writes nothing and does not hand off.
TEST_P(UnreadableRulesTest, MenuIsEmptyAndExpiryDoesNothing) {
  Container container;
  GetParam().make(container / kRulesName);
  Extension<> extension(container.config(selection()));
  EXPECT_TRUE(extension.finderSync.menuForMenuKind(0).items.empty());
  extension.finderSync.perform(Selector::setExpiry, Sender::withTag(1));
  EXPECT_FALSE(fileBytes(container / kRequestName).has_value());
  EXPECT_TRUE(extension.platform.opens().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, UnreadableRulesTest, ::testing::ValuesIn(kUnreadableRules), kCaseName);

// A host that changes the manifest while we read it, `steps` times at most.
// Replaced by rename, every menu is that of one manifest or the other.
// Rewritten in place (truncated, then written), a read may catch a part; a
// part never decodes, so such a menu is empty, never a mixture. Appended to
// (white space, still one JSON text), the read takes the size the file had
// at the open, so every menu is the whole manifest's and no read chases the
// writer.
struct ChangeCase { const char* name; int steps, reads; bool mayBeEmpty; void (*change)(const std::string&, const std::string&); };

const ChangeCase kChanges[] = {
    {"ByRename", 4000, 300, false,
     [](const std::string& path, const std::string& manifest) { writeFile(path + "~", manifest), ::rename((path + "~").c_str(), path.c_str()); }},
    {"InPlace", 4000, 300, true, [](const std::string& path, const std::string& manifest) { writeFile(path, manifest); }},
    // At most 32 MiB, whether or not the reader is done by then.
    {"Growing", 512, 40, false,
     [](const std::string& path, const std::string&) { std::ofstream(path, std::ios::app) << std::string(64 * 1024, ' '); }},
};

class ChangingRulesTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangingRulesTest, EveryMenuIsOneWholeManifestsOrEmpty) {
  const ChangeCase& change = GetParam();
  Container container;
  const std::string path = container / kRulesName;
  const std::string manifests[] = {manifestText(3), manifestText(200)};
  Extension<> extension(container.config());
  std::string menus[2];
  for (int i = 0; i < 2; ++i) {
    writeFile(path, manifests[i]);
    menus[i] = describe(buildMenu(0, extension.context));
  }
  std::atomic<bool> done{false};
  std::thread host([&] { for (int i = 0; i < change.steps && !done.load(); ++i) change.change(path, manifests[i % 2]); });
  int mixed = 0, empty = 0;
  for (int i = 0; i < change.reads; ++i) {
    const Menu menu = buildMenu(0, extension.context);
    empty += menu.items.empty();
    mixed += !menu.items.empty() && describe(menu) != menus[0] && describe(menu) != menus[1];
  }
  done = true;
  host.join();
  EXPECT_EQ(mixed, 0);
  EXPECT_TRUE(change.mayBeEmpty || empty == 0) << empty << " empty menus: the file was never missing or partial";
}

INSTANTIATE_TEST_SUITE_P(Table, ChangingRulesTest, ::testing::ValuesIn(kChanges), kCaseName);

// ---- large and strange manifests and selections ----

// The peak resident set of this process so far, in bytes (Linux reports KiB).
std::size_t peakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// A million rules (a tenth under the sanitizers) load in order in bounded
// memory; 100,000 of them make a menu that keeps a megabyte name whole.
TEST(LargeManifest, LoadsInBoundedMemoryAndKeepsAMegabyteName) {
  const std::size_t count = kSanitized ? 100'000 : 1'000'000;
  Container container;
  const std::string text = manifestText(count, {"/home/user/w"});
  writeFile(container / kRulesName, text);
  Extension<> extension(container.config());
  const std::size_t before = peakResidentBytes();
  const std::optional<RuleManifest> manifest = loadRuleManifest(extension.platform, extension.context.identity());
  const std::size_t grown = peakResidentBytes() - before;
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->rules.size(), count);
  EXPECT_EQ(manifest->rules.back().name, "rule " + std::to_string(count - 1));
  // The file, its parse and the records: a small multiple of the text, never
  // more (the sanitizers' own bookkeeping makes the figure meaningless there).
  EXPECT_TRUE(kSanitized || grown < 8 * text.size()) << grown << " bytes for a text of " << text.size();
  std::printf("%zu rules: %zu bytes of text, peak resident set grew by %zu bytes\n", count, text.size(), grown);

  RuleManifest menuManifest = *manifest;
  menuManifest.rules.resize(100'000);
  menuManifest.watchedRoots = std::vector<std::string>{};
  menuManifest.rules[0].name = std::string(12345, 'n') + "/" + std::string((1 << 20) - 12346, 'n');
  writeFile(container / kRulesName, encodeRuleManifest(menuManifest));
  const Menu menu = buildMenu(0, extension.context);
  ASSERT_EQ(menu.items.size(), 1u);
  const auto& items = menu.items[0].submenu->items;
  ASSERT_GT(items.size(), 100'000u);
  EXPECT_EQ(items[1].title, menuManifest.rules[0].name);
  EXPECT_EQ(items[100'000].title, "rule 99999");
}

// 100,000 items, of which every third lies outside the root and every fifth
// is a folder, and paths as long as a path may be (PATH_MAX is 4,096 bytes
// with its NUL) and longer: they are text in the request, never opened, so
// the request names every file, whole.
TEST(LargeSelection, HundredThousandItemsAndLongPathsGiveOneWholeRequest) {
  Container container;
  writeFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  std::vector<FileURL> selection;
  std::vector<std::string> expectedFiles;
  for (std::size_t i = 0; i < 100'000; ++i) {
    const std::string path = (i % 3 == 0 ? "/home/user/other/" : "/home/user/w/") + std::to_string(i);
    selection.push_back(FileURL::fileURLWithPath(path, i % 5 == 0));
    if (i % 3 != 0 && i % 5 != 0) expectedFiles.push_back(path);
  }
  for (const std::size_t length : {4095u, 4096u, 65536u}) {
    std::string path = "/home/user/w/";
    while (path.size() < length) path += path.size() % 200 == 0 && path.size() + 1 < length ? '/' : 'x';
    selection.push_back(FileURL::fileURLWithPath(expectedFiles.emplace_back(path), false));
  }
  Extension<> extension(container.config(selection));
  extension.finderSync.perform(Selector::setExpiry, Sender::withTag(30));
  const Decoded<ToolRequest> request = decodeToolRequest(fileBytes(container / kRequestName).value_or(""));
  ASSERT_TRUE(request.value.has_value());
  EXPECT_TRUE(request.value->files == expectedFiles && request.value->days == 30);
  EXPECT_EQ(extension.platform.opens().size(), 1u);
}

}  // namespace
}  // namespace ferlo::reliability
