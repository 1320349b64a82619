// The contextual menu: when it is offered, its exact shape, and every
// property of every item.
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

TEST(BuildMenuTest, FullMenuMatchesItemForItem) {
  CountingPlatform platform;
  makeHealthy(platform);
  platform.putFile(kRulesPath, kTwoRules);
  platform.images["BrandGlyph"] = ImageSize{20, 30};
  platform.strings = {
      {"finder.section.rules", "Rules"}, {"finder.rules.empty", "No rules"}, {"finder.section.actions", "Actions"},
      {"finder.action.flatten", "Flatten Folder"}, {"finder.action.merge %lld", "Merge %lld Folders"},
      {"finder.expiry.title", "Expire File"}, {"finder.expiry.titleMany %lld", "Expire %lld Files"},
      {"finder.expiry.days %lld", "In %lld days"}, {"finder.expiry.keep", "Keep"},
  };
  platform.selection = std::vector{folderAt("/Users/user/A"), fileAt("/Users/user/Downloads/1.pdf"),
                                   folderAt("/Users/user/B"), fileAt("/Users/user/Downloads/sub/2.pdf"),
                                   fileAt("/Users/user/Desktop/3.pdf"), fileAt("/Users/user/Downloads/4.pdf")};
  ExtensionContext context(platform);
  // A rule item's id is upper case whatever the manifest's case.
  const std::string expected = R"(menu []
  [Ferlo] image=BrandGlyph@11x16 action=none target=none tag=0 enabled
    menu [Ferlo]
      [Rules] styled=[RULES] action=none target=none tag=0 disabled
      [Tidy downloads] action=runRule: target=principal tag=fresh object=[0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30] enabled
      [Archive screenshots] action=runRule: target=principal tag=fresh object=[7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2] enabled
      [Actions] styled=[ACTIONS] action=none target=none tag=0 disabled
      [Flatten Folder] action=runFlatten: target=principal tag=0 enabled
      [Merge 2 Folders] action=runMergeSelected: target=principal tag=0 enabled
      [Expire 3 Files] action=none target=none tag=0 enabled
        menu []
          [In 1 days] action=setExpiry: target=principal tag=1 enabled
          [In 7 days] action=setExpiry: target=principal tag=7 enabled
          [In 30 days] action=setExpiry: target=principal tag=30 enabled
          [] action=none target=none tag=0 disabled separator
          [Keep] action=setExpiry: target=principal tag=0 enabled
)";
  for (std::uint64_t kind : {kMenuKindContextualMenuForItems, kMenuKindContextualMenuForContainer})
    EXPECT_EQ(describe(buildMenu(kind, context)), expected) << "kind " << kind;
  EXPECT_EQ(platform.imageLookups.load(), 1);
  // The manifest is read afresh for every menu.
  platform.putFile(kRulesPath, R"({"rules":[]})");
  EXPECT_EQ(submenuTitles(buildMenu(0, context)).at(1), "No rules");
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
