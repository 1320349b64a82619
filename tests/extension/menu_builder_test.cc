// The contextual menu: when it is offered, its exact shape, and every
// property of every item.
#include <functional>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "extension/expiry_menu.h"
#include "extension/extension_context.h"
#include "extension/menu_builder.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using testing::CountingPlatform;
using testing::describe;
using testing::fileAt;
using testing::folderAt;
using testing::kRulesPath;
using testing::makeHealthy;

constexpr const char* kTidyId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
constexpr const char* kArchiveIdLower = "7a3c9e1b-4d2f-4b6a-8e05-c1d3f5a7b9e2";
constexpr const char* kArchiveId = "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2";

const std::string kTwoRules = std::string(R"({"rules":[{"id":")") + kTidyId +
                              R"(","name":"Tidy downloads"},{"id":")" + kArchiveIdLower +
                              R"(","name":"Archive screenshots","extra":[1,2]}],"watchedRoots":["\/Users\/user\/Downloads"],"version":3})";

// ---- Expected items, spelled out property by property ----

MenuItem expectedHeader(std::string title, std::string styled) {
  MenuItem item;
  item.title = std::move(title);
  item.attributedTitle = AttributedTitle{std::move(styled)};
  item.enabled = false;
  return item;
}

MenuItem expectedCommand(std::string title, Selector action, std::int64_t tag = 0,
                         std::optional<std::string> object = std::nullopt) {
  MenuItem item;
  item.title = std::move(title);
  item.action = action;
  item.targetsPrincipal = true;
  item.tag = tag;
  item.representedObject = std::move(object);
  return item;
}

MenuItem expectedSeparator() {
  MenuItem item;
  item.isSeparator = true;
  item.enabled = false;
  return item;
}

std::shared_ptr<Menu> expectedMenu(std::string title, std::vector<MenuItem> items) {
  auto menu = std::make_shared<Menu>();
  menu->title = std::move(title);
  menu->items = std::move(items);
  return menu;
}

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
      {"finder.section.rules", "Rules"},
      {"finder.rules.empty", "No rules"},
      {"finder.section.actions", "Actions"},
      {"finder.action.flatten", "Flatten Folder"},
      {"finder.action.merge %lld", "Merge %lld Folders"},
      {"finder.expiry.title", "Expire File"},
      {"finder.expiry.titleMany %lld", "Expire %lld Files"},
      {"finder.expiry.days %lld", "In %lld days"},
      {"finder.expiry.keep", "Keep"},
  };
  platform.selection = std::vector{folderAt("/Users/user/A"), fileAt("/Users/user/Downloads/1.pdf"),
                                   folderAt("/Users/user/B"), fileAt("/Users/user/Downloads/sub/2.pdf"),
                                   fileAt("/Users/user/Desktop/3.pdf"), fileAt("/Users/user/Downloads/4.pdf")};
  ExtensionContext context(platform);

  auto expiry = expectedCommand("Expire 3 Files", Selector::none);
  expiry.targetsPrincipal = false;
  expiry.submenu = expectedMenu("", {expectedCommand("In 1 days", Selector::setExpiry, 1),
                                     expectedCommand("In 7 days", Selector::setExpiry, 7),
                                     expectedCommand("In 30 days", Selector::setExpiry, 30), expectedSeparator(),
                                     expectedCommand("Keep", Selector::setExpiry, 0)});
  MenuItem root;
  root.title = "Ferlo";
  root.image = MenuImage{"BrandGlyph", 11, 16, false};
  root.submenu = expectedMenu(
      "Ferlo", {expectedHeader("Rules", "RULES"),
                // 1: a fresh tag; what it resolves to is the commands' test.
                expectedCommand("Tidy downloads", Selector::runRule, 1, kTidyId),
                expectedCommand("Archive screenshots", Selector::runRule, 1, kArchiveId),
                expectedHeader("Actions", "ACTIONS"), expectedCommand("Flatten Folder", Selector::runFlatten),
                expectedCommand("Merge 2 Folders", Selector::runMergeSelected), expiry});
  Menu expected;
  expected.items.push_back(root);

  for (std::uint64_t kind : {kMenuKindContextualMenuForItems, kMenuKindContextualMenuForContainer}) {
    EXPECT_EQ(describe(buildMenu(kind, context)), describe(expected)) << "kind " << kind;
  }
  EXPECT_EQ(platform.imageLookups.load(), 1);
}

// ---- When the menu is offered, and what it holds ----

struct ShapeCase {
  const char* name;
  std::function<void(FakePlatform&)> configure;  // applied to a healthy platform without rules.json
  std::uint64_t kind;
  std::vector<std::string> titles;  // of the submenu; empty: empty top-level menu
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class MenuShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(MenuShapeTest, Shape) {
  const ShapeCase& c = GetParam();
  FakePlatform platform;
  makeHealthy(platform);
  c.configure(platform);
  ExtensionContext context(platform);
  Menu menu = buildMenu(c.kind, context);
  EXPECT_EQ(menu.title, "");
  EXPECT_EQ(submenuTitles(menu), c.titles);
  EXPECT_EQ(menu.items.size(), c.titles.empty() ? 0u : 1u);
}

// Writes `json` as rules.json and, when given, selects `items`.
std::function<void(FakePlatform&)> with(std::string json, std::optional<std::vector<FileURL>> items = std::nullopt) {
  return [json, items](FakePlatform& p) {
    p.putFile(kRulesPath, json);
    if (items) p.selection = items;
  };
}

const std::vector<std::string> kBare = {"finder.section.rules", "finder.rules.empty", "finder.section.actions",
                                        "finder.action.flatten"};
const std::vector<std::string> kTwo = {"finder.section.rules", "Tidy downloads", "Archive screenshots",
                                       "finder.section.actions", "finder.action.flatten"};
constexpr const char* kNoRules = R"({"rules":[]})";
constexpr const char* kRootW = R"({"rules":[],"watchedRoots":["\/w"]})";

std::vector<std::string> plus(std::vector<std::string> base, std::vector<std::string> more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuShapeTest,
    ::testing::Values(
        ShapeCase{"ItemsKind", with(kTwoRules), 0, kTwo},
        ShapeCase{"SidebarKindIsEmpty", with(kTwoRules), 2, {}},
        ShapeCase{"LargestKindIsEmpty", with(kTwoRules), std::numeric_limits<std::uint64_t>::max(), {}},
        ShapeCase{"HostNotRunning", [](FakePlatform& p) { with(kTwoRules)(p); p.runningBundleIdentifiers.clear(); },
                  0, {}},
        ShapeCase{"HostRunsTwice",
                  [](FakePlatform& p) { with(kTwoRules)(p); p.runningBundleIdentifiers.insert(testing::kHost); }, 0,
                  kTwo},
        ShapeCase{"NoContainer", [](FakePlatform& p) { with(kTwoRules)(p); p.containers.clear(); }, 0, {}},
        ShapeCase{"MissingRulesFile", [](FakePlatform&) {}, 0, {}},
        ShapeCase{"NotJson", with("rules"), 0, {}},
        ShapeCase{"EmptyRules", with(kNoRules), 0, kBare},
        ShapeCase{"DuplicateAndEmptyNames",
                  with(std::string(R"({"rules":[{"id":")") + kTidyId + R"(","name":"Same"},{"id":")" + kArchiveId +
                       R"(","name":"Same"},{"id":")" + kTidyId + R"(","name":""}]})"),
                  0, {"finder.section.rules", "Same", "Same", "", "finder.section.actions", "finder.action.flatten"}},
        ShapeCase{"OneFolderNoMerge", with(kNoRules, std::vector{folderAt("/a"), fileAt("/b")}), 0, kBare},
        ShapeCase{"ThreeFoldersMerge", with(kNoRules, std::vector{folderAt("/a"), folderAt("/b"), folderAt("/c")}), 0,
                  plus(kBare, {"finder.action.merge 3"})},
        ShapeCase{"OneFileUnderRoot", with(kRootW, std::vector{fileAt("/w/a"), fileAt("/x/b")}), 0,
                  plus(kBare, {"finder.expiry.title"})},
        ShapeCase{"ThreeFilesAndOneFolder",
                  with(kRootW, std::vector{fileAt("/w/a"), fileAt("/w/b"), folderAt("/w/d"), fileAt("/w/c")}), 0,
                  plus(kBare, {"finder.expiry.titleMany 3"})},
        ShapeCase{"MergeAndExpiry",
                  with(R"({"rules":[],"watchedRoots":["\/"]})",
                       std::vector{fileAt("/w/a"), folderAt("/d1"), fileAt("/w/b"), folderAt("/d2")}),
                  0, plus(kBare, {"finder.action.merge 2", "finder.expiry.titleMany 2"})},
        ShapeCase{"NoWatchedRootsNoExpiry", with(kNoRules, std::vector{fileAt("/w/a")}), 0, kBare}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildMenuTest, ManifestAndContainerAreReadAfreshEachTime) {
  FakePlatform platform;
  makeHealthy(platform);
  ExtensionContext context(platform);
  EXPECT_TRUE(buildMenu(0, context).items.empty());
  platform.putFile(kRulesPath, kTwoRules);
  EXPECT_EQ(submenuTitles(buildMenu(0, context)), kTwo);
  platform.putFile(kRulesPath, R"({"rules":[]})");
  EXPECT_EQ(submenuTitles(buildMenu(0, context)), kBare);
  platform.removeFile(kRulesPath);
  EXPECT_TRUE(buildMenu(0, context).items.empty());
}

}  // namespace
}  // namespace ferlo
