// The four commands end to end through the principal object's dispatch: the
// exact bytes of the request file, the guards, and the hand-off.
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "extension/handoff.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using testing::fileAt;
using testing::folderAt;
using testing::kRequestPath;
using testing::kRulesPath;
using testing::makeHealthy;

constexpr const char* kRuleId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
constexpr const char* kDownloadsRules = R"({"rules":[],"watchedRoots":["\/Users\/user\/Downloads"]})";

struct CommandCase {
  const char* name;
  std::function<void(FakePlatform&)> configure;  // on a healthy platform
  Selector selector;
  Sender sender;
  std::optional<std::string> request;  // the request file afterwards; none: no file
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class CommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTest, WritesExactlyThisRequestThenHandsOffOnce) {
  const CommandCase& c = GetParam();
  FakePlatform platform;
  makeHealthy(platform);
  platform.bundle = folderAt("/a/H.app/b/c/E.appex");
  c.configure(platform);
  ExtensionContext context(platform);
  FinderSync finderSync(context);

  finderSync.perform(c.selector, c.sender);

  EXPECT_EQ(platform.file(kRequestPath), c.request);
  auto opens = platform.opens();
  if (c.request) {
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].url.absoluteString(), "file:///a/H.app/");
    EXPECT_TRUE(opens[0].activates);
  } else {
    EXPECT_TRUE(opens.empty()) << "a command stopped by its guard must not hand off";
  }
}

using Items = std::vector<FileURL>;

// Selects `items`, targets `target` and, when given, writes `rules` as rules.json.
std::function<void(FakePlatform&)> given(std::optional<Items> items, std::optional<FileURL> target = std::nullopt,
                                         const char* rules = nullptr) {
  return [=](FakePlatform& p) {
    p.selection = items;
    p.target = target;
    if (rules) p.putFile(kRulesPath, rules);
  };
}

std::function<void(FakePlatform&)> expiring(Items items, const char* rules = kDownloadsRules) {
  return given(std::move(items), std::nullopt, rules);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CommandTest,
    ::testing::Values(
        // The host's documented examples, byte for byte.
        CommandCase{"MergeTwoFolders",
                    given(Items{folderAt("/Users/user/Old photos"), folderAt("/Users/user/New photos")}),
                    Selector::runMergeSelected, Sender{},
                    R"({"action":"mergeFolders","folders":["\/Users\/user\/Old photos","\/Users\/user\/New photos"]})"},
        CommandCase{"FlattenTargetWithNothingSelected", given(std::nullopt, folderAt("/Users/user/Downloads")),
                    Selector::runFlatten, Sender{},
                    R"({"action":"flattenFolder","folders":["\/Users\/user\/Downloads"]})"},
        CommandCase{
            "RunRuleOnSelectedFolder", given(Items{folderAt("/Users/user/Downloads")}), Selector::runRule,
            Sender::withString(kRuleId),
            R"({"action":"runRule","folders":["\/Users\/user\/Downloads"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})"},
        CommandCase{
            "ExpireForSevenDays",
            expiring({fileAt("/Users/user/Downloads/invoice.pdf"), fileAt("/Users/user/Desktop/other.pdf"),
                      fileAt("/Users/user/Downloads/Caf\xC3\xA9 menu.png")}),
            Selector::setExpiry, Sender::withTag(7),
            "{\"action\":\"expireFiles\",\"folders\":[],\"files\":[\"\\/Users\\/user\\/Downloads\\/invoice.pdf\","
            "\"\\/Users\\/user\\/Downloads\\/Caf\xC3\xA9 menu.png\"],\"days\":7}"},
        CommandCase{"ExpireKeepChoiceHasNoDays", expiring({fileAt("/Users/user/Downloads/invoice.pdf")}),
                    Selector::setExpiry, Sender::withTag(0),
                    R"({"action":"expireFiles","folders":[],"files":["\/Users\/user\/Downloads\/invoice.pdf"]})"},
        // Values at the edges.
        CommandCase{"ExpireNegativeTagHasNoDays", expiring({fileAt("/Users/user/Downloads/a")}), Selector::setExpiry,
                    Sender::withTag(-1),
                    R"({"action":"expireFiles","folders":[],"files":["\/Users\/user\/Downloads\/a"]})"},
        CommandCase{
            "ExpireLargestTag", expiring({fileAt("/Users/user/Downloads/a")}), Selector::setExpiry,
            Sender::withTag(std::numeric_limits<std::int64_t>::max()),
            R"({"action":"expireFiles","folders":[],"files":["\/Users\/user\/Downloads\/a"],"days":9223372036854775807})"},
        CommandCase{"RunRuleActsOnFirstSelectedFolderOnly",
                    given(Items{fileAt("/u/f"), folderAt("/u/A"), folderAt("/u/B")}, folderAt("/u")), Selector::runRule,
                    Sender::withString("not-in-the-manifest"),
                    R"({"action":"runRule","folders":["\/u\/A"],"ruleID":"not-in-the-manifest"})"},
        CommandCase{"MergeThreeInSelectionOrder",
                    given(Items{folderAt("/c"), fileAt("/f"), folderAt("/a"), folderAt("/b")}),
                    Selector::runMergeSelected, Sender{}, R"({"action":"mergeFolders","folders":["\/c","\/a","\/b"]})"},
        // Guards: nothing written, no hand-off.
        CommandCase{"RunRuleWithoutObject", given(std::nullopt, folderAt("/u")), Selector::runRule, Sender::withTag(3),
                    std::nullopt},
        CommandCase{"RunRuleWithoutFolder", given(Items{fileAt("/u/f")}), Selector::runRule,
                    Sender::withString(kRuleId), std::nullopt},
        CommandCase{"FlattenWithNothingAtAll", given(std::nullopt), Selector::runFlatten, Sender{}, std::nullopt},
        CommandCase{"MergeOneFolder", given(Items{folderAt("/a")}, folderAt("/t")), Selector::runMergeSelected,
                    Sender{}, std::nullopt},
        CommandCase{"ExpireWithoutWatchedRoots", expiring({fileAt("/Users/user/Downloads/a")}, R"({"rules":[]})"),
                    Selector::setExpiry, Sender::withTag(7), std::nullopt},
        CommandCase{"ExpireWithoutContainer",
                    [](FakePlatform& p) {
                      expiring({fileAt("/Users/user/Downloads/a")})(p);
                      p.containers.clear();
                    },
                    Selector::setExpiry, Sender::withTag(7), std::nullopt},
        CommandCase{"NoSelectorDoesNothing", given(Items{folderAt("/a"), folderAt("/b")}, folderAt("/u")),
                    Selector::none, Sender::withString(kRuleId), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A rule chosen in the real Finder: the copy of the item it sends ----

constexpr const char* kArchiveId = "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2";
constexpr const char* kTwoRules =
    R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"},)"
    R"({"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":"Tidy"}]})";
constexpr const char* kRewrittenRules =
    R"({"rules":[{"id":"11111111-2222-3333-4444-555555555555","name":"Tidy"},)"
    R"({"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":"Other"}]})";

struct RuleCopyCase {
  const char* name;
  std::size_t item;  // of the first menu's rules: 0 Tidy (kRuleId), 1 Tidy (kArchiveId)
  // What happens between the menu and the click; gives the sender to deliver.
  std::function<Sender(FakePlatform&, FinderSync&, const MenuItem&)> between;
  const char* ruleID;  // in the request; nullptr: nothing written, no hand-off
};

void PrintTo(const RuleCopyCase& c, std::ostream* os) { *os << c.name; }

class RuleCopyTest : public ::testing::TestWithParam<RuleCopyCase> {};

TEST_P(RuleCopyTest, RequestNamesTheRuleTheUserSawOrNothing) {
  const RuleCopyCase& c = GetParam();
  FakePlatform platform;
  makeHealthy(platform);
  platform.putFile(kRulesPath, kTwoRules);
  platform.target = folderAt("/u");
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  const Menu menu = finderSync.menuForMenuKind(0);
  const MenuItem& item = menu.items.at(0).submenu->items.at(1 + c.item);

  finderSync.runRule(c.between(platform, finderSync, item));

  if (!c.ruleID) {
    EXPECT_FALSE(platform.file(kRequestPath));
    EXPECT_TRUE(platform.opens().empty());
    return;
  }
  EXPECT_EQ(platform.file(kRequestPath),
            std::string(R"({"action":"runRule","folders":["\/u"],"ruleID":")") + c.ruleID + "\"}");
  EXPECT_EQ(platform.opens().size(), 1u);
}

Sender copied(const MenuItem& item) { return senderOf(finderCopyOf(item)); }

// The Finder's copy of the item, then `change` applied to it.
std::function<Sender(FakePlatform&, FinderSync&, const MenuItem&)> copyWith(std::function<void(Sender&)> change) {
  return [change](FakePlatform&, FinderSync&, const MenuItem& item) {
    Sender sender = copied(item);
    change(sender);
    return sender;
  };
}

// Another extension process, or one before a restart with the same
// identifier, made the tag; it had built `menusBefore` menus.
Sender madeElsewhere(std::uint64_t processId, int menusBefore, const MenuItem& item) {
  FakePlatform other;
  makeHealthy(other);
  other.putFile(kRulesPath, kTwoRules);
  other.processId = processId;
  ExtensionContext context(other);
  FinderSync finderSync(context);
  for (int n = 0; n < menusBefore; ++n) (void)finderSync.menuForMenuKind(0);
  const Menu menu = finderSync.menuForMenuKind(0);
  Sender sender = copied(menu.items.at(0).submenu->items.at(1));
  EXPECT_EQ(sender.title, item.title);
  return sender;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuleCopyTest,
    ::testing::Values(
        RuleCopyCase{"FindersCopy", 0, copyWith([](Sender&) {}), kRuleId},
        // Two rules with one name: the tag, not the title, tells them apart.
        RuleCopyCase{"SameTitleOtherRule", 1, copyWith([](Sender&) {}), kArchiveId},
        RuleCopyCase{"OriginalItem", 1, [](auto&, auto&, const MenuItem& i) { return senderOf(i); }, kArchiveId},
        RuleCopyCase{"AfterTheHostRewroteRulesAndMoreMenus", 0,
                     [](FakePlatform& p, FinderSync& f, const MenuItem& i) {
                       p.putFile(kRulesPath, kRewrittenRules);
                       for (int n = 0; n < 5; ++n) (void)f.menuForMenuKind(0);
                       return copied(i);
                     },
                     kRuleId},
        RuleCopyCase{"OtherTitle", 0, copyWith([](Sender& s) { s.title = "Tidy "; }), nullptr},
        RuleCopyCase{"NoTitle", 0, copyWith([](Sender& s) { s.title.reset(); }), nullptr},
        RuleCopyCase{"ObjectNotAString", 0, copyWith([](Sender& s) { s.objectKind = Sender::ObjectKind::other; }),
                     nullptr},
        RuleCopyCase{"UnknownTag", 0, copyWith([](Sender& s) { s.tag += 7; }), nullptr},
        RuleCopyCase{"OtherProcess", 0, [](auto&, auto&, const MenuItem& i) { return madeElsewhere(77, 0, i); },
                     nullptr},
        RuleCopyCase{"ThisProcessBeforeARestart", 0,
                     [](auto&, auto&, const MenuItem& i) { return madeElsewhere(4242, 3, i); }, nullptr},
        RuleCopyCase{"MenuDroppedLongAgo", 0,
                     [](auto&, FinderSync& f, const MenuItem& i) {
                       for (std::size_t n = 0; n < RuleItemTags::kRetainedMenus; ++n) (void)f.menuForMenuKind(0);
                       return copied(i);
                     },
                     nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RuleCopyTest, NewestMenuIsKeptWholeAndItsTagsStayBelowTwoToThe53) {
  FakePlatform platform;
  makeHealthy(platform);
  platform.processId = (std::uint64_t{1} << 22) - 1;  // the largest identifier that is kept whole
  std::string rules = R"({"rules":[)";
  const std::size_t count = RuleItemTags::kRetainedEntries + 2;
  for (std::size_t n = 0; n < count; ++n) {
    rules += std::string(n ? "," : "") + R"({"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"r)" +
             std::to_string(n) + "\"}";
  }
  platform.putFile(kRulesPath, rules + "]}");
  platform.target = folderAt("/u");
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  (void)finderSync.menuForMenuKind(0);
  const Menu menu = finderSync.menuForMenuKind(0);
  const auto& items = menu.items.at(0).submenu->items;
  for (std::size_t n : {std::size_t{1}, count}) {
    EXPECT_LT(items[n].tag, std::int64_t{1} << 53);
    EXPECT_EQ(context.ruleItemTags().resolve(items[n].tag, items[n].title).has_value(), true) << n;
  }
}

// ---- The hand-off when nothing could be written ----

// A container that the platform gives for the first `available` lookups only.
class VanishingContainerPlatform : public FakePlatform {
 public:
  int available = 1 << 20;
  std::optional<FileURL> containerURLForSecurityApplicationGroupIdentifier(std::string_view group) override {
    std::optional<FileURL> url = FakePlatform::containerURLForSecurityApplicationGroupIdentifier(group);
    return available-- > 0 ? url : std::nullopt;
  }
};

// The write fails, or the container is gone by the time of the write (for
// setExpiry:, after it read the manifest): the old request stays, and the
// host is still brought forward, once.
TEST(CommandHandOffTest, NothingWrittenStillHandsOffOnceAndLeavesTheOldRequest) {
  const std::string kOld = R"({"action":"flattenFolder","folders":["\/old"]})";
  const struct {
    Selector selector;
    Sender sender;
  } kCommands[] = {{Selector::runRule, Sender::withString(kRuleId)},
                   {Selector::runFlatten, Sender{}},
                   {Selector::runMergeSelected, Sender{}},
                   {Selector::setExpiry, Sender::withTag(30)}};
  for (const auto& command : kCommands) {
    for (const bool containerGone : {false, true}) {
      SCOPED_TRACE(std::string(selectorName(command.selector)) + (containerGone ? " container gone" : " write fails"));
      VanishingContainerPlatform platform;
      makeHealthy(platform);
      platform.putFile(kRulesPath, R"({"rules":[],"watchedRoots":["\/w"]})");
      platform.putFile(kRequestPath, kOld);
      platform.selection = std::vector{folderAt("/w/a"), folderAt("/w/b"), fileAt("/w/c")};
      platform.bundle = folderAt("/Apps/Host.app/Contents/PlugIns/Ext.appex");
      ExtensionContext context(platform);
      FinderSync finderSync(context);
      platform.failWrites = !containerGone;
      if (containerGone) platform.available = command.selector == Selector::setExpiry ? 1 : 0;

      finderSync.perform(command.selector, command.sender);

      EXPECT_EQ(platform.file(kRequestPath), kOld);
      if (containerGone) {
        EXPECT_EQ(platform.containerLookups(), command.selector == Selector::setExpiry ? 2 : 1);
      }
      ASSERT_EQ(platform.opens().size(), 1u);
      EXPECT_EQ(platform.opens()[0].url.absoluteString(), "file:///Apps/Host.app/");
      EXPECT_TRUE(platform.opens()[0].activates);
    }
  }
}

// The host must find the new request when it is brought forward.
class OrderRecordingPlatform : public FakePlatform {
 public:
  std::vector<std::optional<std::string>> requestAtOpen;
  void openApplicationAtURL(const FileURL& url, bool activates) override {
    requestAtOpen.push_back(file(testing::kRequestPath));
    FakePlatform::openApplicationAtURL(url, activates);
  }
};

TEST(CommandHandOffTest, RequestIsInPlaceBeforeTheHandOff) {
  OrderRecordingPlatform platform;
  makeHealthy(platform);
  platform.target = folderAt("/u/one");
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  finderSync.runFlatten(Sender{});
  platform.target = folderAt("/u/two");
  finderSync.runFlatten(Sender{});
  ASSERT_EQ(platform.requestAtOpen.size(), 2u);
  EXPECT_EQ(platform.requestAtOpen[0], R"({"action":"flattenFolder","folders":["\/u\/one"]})");
  EXPECT_EQ(platform.requestAtOpen[1], R"({"action":"flattenFolder","folders":["\/u\/two"]})");
}

TEST(HostApplicationURLTest, ThreeComponentsAboveTheExtension) {
  const struct {
    std::string bundle, host;
  } kCases[] = {
      {"/a/H.app/b/c/E.appex/", "file:///a/H.app/"},
      {"/a/b/E.appex/", "file:///"},  // not inside an application: still opened, unchecked
      {"/a/H.app/b/c/E.appex", "file:///a/H.app/"},
  };
  for (const auto& c : kCases) {
    FakePlatform platform;
    platform.bundle = FileURL::fileURLWithPath(c.bundle, false);
    EXPECT_EQ(hostApplicationURL(platform).absoluteString(), c.host) << c.bundle;
    openHostApplication(platform);
    openHostApplication(platform);  // never merged or suppressed
    ASSERT_EQ(platform.opens().size(), 2u);
    EXPECT_EQ(platform.opens()[1].url.absoluteString(), c.host);
  }
}

}  // namespace
}  // namespace ferlo
