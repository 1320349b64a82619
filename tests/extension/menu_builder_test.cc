// The contextual menu: when it is offered and its shape. Every property of
// every item: the program's menu document and tree (tests/tools).
#include <functional>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/menu_builder.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using namespace testing;  // the shared set-up of extension_test_support.h

const std::string kTwoRules =
    R"({"rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"Tidy downloads"},)"
    R"({"id":"7a3c9e1b-4d2f-4b6a-8e05-c1d3f5a7b9e2","name":"Archive screenshots","extra":[1,2]}],)"
    R"("watchedRoots":["\/Users\/user\/Downloads"],"version":3})";

// Titles of the "Ferlo" submenu's items; empty for an empty menu.
std::vector<std::string> submenuTitles(const Menu& menu) {
  std::vector<std::string> titles;
  if (menu.items.empty() || !menu.items[0].submenu) return titles;
  for (const MenuItem& item : menu.items[0].submenu->items) titles.push_back(item.title);
  return titles;
}

// The manifest is read afresh for every menu.
TEST(BuildMenuTest, ReadsTheManifestAfreshForEveryMenu) {
  FakePlatform platform;
  makeHealthy(platform);
  platform.putFile(kRulesPath, kTwoRules);
  ExtensionContext context(platform);
  EXPECT_EQ(submenuTitles(buildMenu(0, context)).at(1), "Tidy downloads");
  platform.putFile(kRulesPath, R"({"rules":[]})");
  EXPECT_EQ(submenuTitles(buildMenu(0, context)).at(1), "finder.rules.empty");
  platform.removeFile(kRulesPath);
  EXPECT_TRUE(buildMenu(0, context).items.empty());
}

// When the menu is offered, and what it holds.
TEST(BuildMenuTest, Shape) {
  const std::vector<std::string> bare = {"finder.section.rules", "finder.rules.empty", "finder.section.actions",
                                         "finder.action.flatten"};
  const auto plus = [&bare](const std::string& more) { auto titles = bare; return titles.push_back(more), titles; };
  const std::string noRules = R"({"rules":[]})", rootW = R"({"rules":[],"watchedRoots":["\/w"]})";
  const std::string same = R"({"rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"Same"},)"
                           R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":""}]})";
  const struct {
    const char* name;
    std::optional<std::string> rules;  // none: no rules.json
    std::optional<std::vector<FileURL>> selection;
    std::function<void(FakePlatform&)> change;  // applied last, when given
    std::uint64_t kind;
    std::vector<std::string> titles;  // of the submenu; empty: empty top-level menu
  } cases[] = {
      {"SidebarKindIsEmpty", kTwoRules, {}, {}, kMenuKindContextualMenuForSidebar, {}},
      {"HostNotRunning", kTwoRules, {}, [](FakePlatform& p) { p.runningBundleIdentifiers.clear(); }, 0, {}},
      {"HostRunsTwice", noRules, {}, [](FakePlatform& p) { p.runningBundleIdentifiers.insert(kHost); }, 0, bare},
      {"NoContainer", kTwoRules, {}, [](FakePlatform& p) { p.containers.clear(); }, 0, {}},
      {"NotJson", "rules", {}, {}, 0, {}},
      {"SameIdTwiceAndEmptyName", same, {}, {}, 0,
       {"finder.section.rules", "Same", "", "finder.section.actions", "finder.action.flatten"}},
      {"OneFolderNoMerge", noRules, std::vector{folderAt("/a"), fileAt("/b")}, {}, 0, bare},
      {"ThreeFoldersMerge", noRules, std::vector{folderAt("/a"), folderAt("/b"), folderAt("/c")}, {}, 0,
       plus("finder.action.merge 3")},
      {"OneFileUnderRoot", rootW, std::vector{fileAt("/w/a"), fileAt("/x/b")}, {}, 0, plus("finder.expiry.title")},
      {"ThreeFilesAndOneFolder", rootW, std::vector{fileAt("/w/a"), fileAt("/w/b"), folderAt("/w/d"), fileAt("/w/c")},
       {}, 0, plus("finder.expiry.titleMany 3")},
      {"NoWatchedRootsNoExpiry", noRules, std::vector{fileAt("/w/a")}, {}, 0, bare},
  };
  for (const auto& c : cases) {
    CountingPlatform platform;
    makeHealthy(platform);
    if (c.rules) platform.putFile(kRulesPath, *c.rules);
    platform.selection = c.selection;
    if (c.change) c.change(platform);
    ExtensionContext context(platform);
    const Menu menu = buildMenu(c.kind, context);
    EXPECT_EQ(submenuTitles(menu), c.titles) << c.name;
    EXPECT_EQ(menu.items.size(), c.titles.empty() ? 0u : 1u) << c.name;
    // Merge and expiry are decided on one reading of the selection, taken
    // only once the manifest has loaded.
    EXPECT_EQ(platform.selectionQueries, c.titles.empty() ? 0 : 1) << c.name;
  }
}

}  // namespace
}  // namespace ferlo
