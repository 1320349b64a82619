// The four commands end to end through the principal object's dispatch: the
// exact bytes of the request file, the guards, and the hand-off. The hand-off
// when the request could not be written: tests/reliability (every command,
// on a real disk) and tests/tools (no container).
#include <cstdint>
#include <functional>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "extension/handoff.h"
#include "extension_test_support.h"
#include "tools/ferlo/finder_copy.h"

namespace ferlo {
namespace {

using namespace testing;  // the shared set-up of extension_test_support.h

constexpr const char* kRuleId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
constexpr const char* kRootW = R"({"rules":[],"watchedRoots":["\/w"]})";
const std::string kExpireA = R"({"action":"expireFiles","folders":[],"files":["\/w\/a"])";  // and the end
using Items = std::vector<FileURL>;
using Texts = std::vector<std::string>;

// Records each hand-off with the request file as the host would find it
// then.
class CommandPlatform : public CountingPlatform {
 public:
  std::vector<std::string> opened;
  void openApplicationAtURL(const FileURL& url, bool activates) override {
    opened.push_back(url.absoluteString() + (activates ? " activating " : " behind ") + file(kRequestPath).value_or(""));
    FakePlatform::openApplicationAtURL(url, activates);
  }
};

TEST(CommandTest, WritesExactlyThisRequestThenHandsOffOnce) {
  const struct {
    const char* name;
    std::optional<Items> selection;
    std::optional<FileURL> target;
    const char* rules;  // rules.json; nullptr: none
    Selector selector;
    Sender sender;
    std::optional<std::string> request;  // the request file afterwards; none: no file and no hand-off
    bool noContainer = false;
  } cases[] = {
      // One of each (the exact bytes of every field are the request encoder's).
      {"MergeTwoFolders", Items{folderAt("/u/Old photos"), folderAt("/u/New")}, {}, nullptr, Selector::runMergeSelected,
       {}, R"({"action":"mergeFolders","folders":["\/u\/Old photos","\/u\/New"]})"},
      {"FlattenTargetWithNothingSelected", {}, folderAt("/u/D"), nullptr, Selector::runFlatten, {},
       R"({"action":"flattenFolder","folders":["\/u\/D"]})"},
      {"RunRuleOnSelectedFolder", Items{folderAt("/u/D")}, {}, nullptr, Selector::runRule, Sender::withString(kRuleId),
       R"({"action":"runRule","folders":["\/u\/D"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})"},
      {"ExpireForSevenDays", Items{fileAt("/w/a"), fileAt("/u/b"), fileAt("/w/Caf\xC3\xA9")}, {},
       kRootW, Selector::setExpiry, Sender::withTag(7),
       "{\"action\":\"expireFiles\",\"folders\":[],\"files\":[\"\\/w\\/a\",\"\\/w\\/Caf\xC3\xA9\"],\"days\":7}"},
      // Values at the edges.
      {"ExpireKeepChoiceHasNoDays", Items{fileAt("/w/a")}, {}, kRootW, Selector::setExpiry, Sender::withTag(0), kExpireA + "}"},
      {"ExpireNegativeTagHasNoDays", Items{fileAt("/w/a")}, {}, kRootW, Selector::setExpiry, Sender::withTag(-1), kExpireA + "}"},
      {"ExpireLargestTag", Items{fileAt("/w/a")}, {}, kRootW, Selector::setExpiry, Sender::withTag(INT64_MAX),
       kExpireA + R"(,"days":9223372036854775807})"},
      {"RunRuleOnFirstFolderOnly", Items{fileAt("/u/f"), folderAt("/u/A"), folderAt("/u/B")}, folderAt("/u"), nullptr,
       Selector::runRule, Sender::withString("nope"), R"({"action":"runRule","folders":["\/u\/A"],"ruleID":"nope"})"},
      {"MergeThreeInSelectionOrder", Items{folderAt("/c"), fileAt("/f"), folderAt("/a"), folderAt("/b")}, {}, nullptr,
       Selector::runMergeSelected, {}, R"({"action":"mergeFolders","folders":["\/c","\/a","\/b"]})"},
      // Guards: nothing written, no hand-off.
      {"RunRuleWithoutObject", {}, folderAt("/u"), nullptr, Selector::runRule, Sender::withTag(3), {}},
      {"RunRuleWithoutFolder", Items{fileAt("/u/f")}, {}, nullptr, Selector::runRule, Sender::withString(kRuleId), {}},
      {"FlattenWithNothingAtAll", {}, {}, nullptr, Selector::runFlatten, {}, {}},
      // A folder on disk whose URL lacks the final "/" counts as a file; the
      // target is taken with or without it.
      {"FlattenOnlyFilesSelected", Items{fileAt("/u/F")}, fileAt("/u/T"), nullptr, Selector::runFlatten, {},
       R"({"action":"flattenFolder","folders":["\/u\/T"]})"},
      {"MergeOneFolder", Items{folderAt("/a")}, folderAt("/t"), nullptr, Selector::runMergeSelected, {}, {}},
      {"ExpireWithoutWatchedRoots", Items{fileAt("/w/a")}, {}, R"({"rules":[]})", Selector::setExpiry, Sender::withTag(7), {}},
      {"ExpireWithoutContainer", Items{fileAt("/w/a")}, {}, kRootW, Selector::setExpiry, Sender::withTag(7), {}, true},
      {"NoSelectorDoesNothing", Items{folderAt("/a"), folderAt("/b")}, folderAt("/u"), nullptr, Selector::none,
       Sender::withString(kRuleId), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandPlatform platform;
    makeHealthy(platform);
    platform.bundle = fileAt("/a/H.app/b/c/E.appex");  // the fake's default ends in "/"
    platform.selection = c.selection;
    platform.target = c.target;
    if (c.rules) platform.putFile(kRulesPath, c.rules);
    if (c.noContainer) platform.containers.clear();
    ExtensionContext context(platform);
    FinderSync finderSync(context);

    finderSync.perform(c.selector, c.sender);

    EXPECT_EQ(platform.file(kRequestPath), c.request);
    // The host must find the new request when it is brought forward, once.
    EXPECT_EQ(platform.opened, c.request ? std::vector{"file:///a/H.app/ activating " + *c.request} : Texts{});
    // The guard and the request rest on one reading of the selection.
    EXPECT_LE(platform.selectionQueries, 1);
  }
}

// ---- A rule chosen in the real Finder: the copy of the item it sends ----

constexpr const char* kArchiveId = "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2";

TEST(RuleCopyTest, RequestNamesTheRuleTheUserSawOrNothing) {
  const struct {
    const char* name;
    std::size_t item;  // of the first menu's rules: 0 Tidy (kRuleId), 1 Tidy (kArchiveId)
    // What happens between the menu and the click to the sender, which
    // starts as the Finder's copy of the item.
    std::function<void(FakePlatform&, FinderSync&, const MenuItem&, Sender&)> between;
    const char* ruleID;  // in the request; nullptr: nothing written, no hand-off
  } cases[] = {
      {"FindersCopy", 0, [](auto&, auto&, auto&, auto&) {}, kRuleId},
      // Two rules with one name: the tag, not the title, tells them apart.
      {"SameTitleOtherRule", 1, [](auto&, auto&, auto&, auto&) {}, kArchiveId},
      {"OriginalItem", 1, [](auto&, auto&, const MenuItem& i, Sender& s) { s = senderOf(i); }, kArchiveId},
      {"AfterTheHostRewroteRulesAndMoreMenus", 0,
       [](FakePlatform& p, FinderSync& f, auto&, auto&) {
         p.putFile(kRulesPath, R"({"rules":[{"id":"11111111-2222-3333-4444-555555555555","name":"Tidy"},)"
                               R"({"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":"Other"}]})");
         for (int n = 0; n < 5; ++n) (void)f.menuForMenuKind(0);
       },
       kRuleId},
      {"NoTitle", 0, [](auto&, auto&, auto&, Sender& s) { s.title.reset(); }, nullptr},
      {"ObjectNotAString", 0, [](auto&, auto&, auto&, Sender& s) { s.objectKind = Sender::ObjectKind::other; },
       nullptr},
      {"TagZeroOfAnItemPastTheWindow", 0, [](auto&, auto&, auto&, Sender& s) { s.tag = 0; }, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    makeHealthy(platform);
    platform.putFile(kRulesPath, kTwoTidyRules);
    platform.target = folderAt("/u");
    ExtensionContext context(platform);
    FinderSync finderSync(context);
    const Menu menu = finderSync.menuForMenuKind(0);
    const MenuItem& item = menu.items.at(0).submenu->items.at(1 + c.item);
    Sender sender = senderOf(finderCopyOf(item));
    c.between(platform, finderSync, item, sender);

    finderSync.runRule(sender);

    std::optional<std::string> expected;
    if (c.ruleID) expected = std::string(R"({"action":"runRule","folders":["\/u"],"ruleID":")") + c.ruleID + "\"}";
    EXPECT_EQ(platform.file(kRequestPath), expected);
    EXPECT_EQ(platform.opens().size(), c.ruleID ? 1u : 0u);
  }
}

// Three components above the extension (the commands' tests hold the usual
// case); one not inside an application is still opened, unchecked.
TEST(HostApplicationURLTest, ThreeComponentsAboveTheExtensionOpenedEveryTime) {
  CommandPlatform platform;
  platform.bundle = folderAt("/a/b/E.appex");
  openHostApplication(platform);
  openHostApplication(platform);  // never merged or suppressed
  EXPECT_EQ(platform.opened, Texts(2, "file:/// activating "));
}

}  // namespace
}  // namespace ferlo
