// RuleItemTags on its own: the layout of a tag, tags of another or an
// earlier process, and which item a residue names as menus come and go.
#include "extension/rule_item_tags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace ferlo {
namespace {

using Tags = RuleItemTags;
using Items = std::vector<std::pair<std::int64_t, Uuid>>;  // tag, id

// `count` items titled `title`, with fresh ids from `n`, added to `batch`.
Items add(Tags::Batch& batch, std::size_t count, std::uint64_t& n, const char* title = "r") {
  Items items;
  for (Uuid id; items.size() < count; items.emplace_back(batch.add(id, title), id)) std::memcpy(id.bytes.data(), &++n, 8);
  return items;
}

Items menuOf(Tags& tags, std::size_t count, std::uint64_t& n, const char* title = "r") {
  Tags::Batch batch = tags.begin(count);
  Items items = add(batch, count, n, title);
  return tags.record(std::move(batch)), items;
}

// Every tag fits a positive int32 above the expiry tags and shows the
// identifier modulo 2^17; a menu larger than the window gives the rest of its
// items the tag 0. Another process refuses the tags even when it built the
// very same menu; so does this process after a restart, unless it gives the
// same residue to an item of the same title (the one case a tag cannot tell).
TEST(RuleItemTagsTest, TagsAreThisProcessesAndFitAPositiveInt32) {
  const std::pair<std::uint64_t, std::int64_t> rows[] = {  // identifier, bits 13-29
      {0, 0}, {1, 1}, {99999, 99999}, {131071, 131071}, {131072, 0}, {(1 << 22) - 1, 131071}, {UINT64_MAX, 131071}};
  for (const auto& [identifier, bits] : rows) {
    Tags tags(identifier), other(identifier + 1), restarted(identifier);
    std::uint64_t n = 0;
    const Items items = menuOf(tags, Tags::kWindow + 2, n);
    (void)menuOf(other, Tags::kWindow + 2, n), (void)menuOf(restarted, 3, n, "s");
    for (std::size_t i = 0; i < items.size(); ++i) {
      const auto [tag, id] = items[i];
      const bool tagged = i < Tags::kWindow;
      // Each tagged item finding its own id also shows that no two share a tag.
      EXPECT_TRUE(tagged ? tag >> 13 == (Tags::kFirstTag >> 13 | bits) : tag == 0) << tag;
      EXPECT_EQ(tags.resolve(tag, "r"), tagged ? std::optional(id) : std::nullopt) << identifier << " " << i;
      EXPECT_FALSE(other.resolve(tag, "r") || restarted.resolve(tag, "r")) << identifier << " " << i;
    }
  }
}

// Menus of many sizes, 3 x 8192 items and more, all titled alike: after
// every menu, each tag ever made names the last item given it while that
// item's menu is kept (one of the last 32 menus, its first tag not given
// again since), and nothing otherwise.
TEST(RuleItemTagsTest, ATagNamesOnlyTheLastItemGivenItWhileItsMenuIsKept) {
  Tags tags(7);
  const std::size_t sizes[] = {1, 0, 3, 700, 2, 5000, 1, 8192, 40, 1, 1, 8191, 6, 1, 2, 300};
  std::map<std::int64_t, std::pair<Uuid, std::size_t>> last;  // tag: id, menu
  std::vector<std::int64_t> firstTag;
  std::vector<std::size_t> rank;  // how many menus with items were recorded before each
  std::uint64_t n = 0;
  for (std::size_t menu = 0, recorded = 0; menu < 120; ++menu) {
    const Items items = menuOf(tags, menu < 40 ? menu % 3 : sizes[menu % std::size(sizes)], n);
    for (const auto& [tag, id] : items) last[tag] = {id, menu};
    firstTag.push_back(items.empty() ? 0 : items[0].first);
    rank.push_back(recorded);
    recorded += items.empty() ? 0 : 1;
    for (const auto& [tag, item] : last) {
      const bool kept = last.at(firstTag[item.second]).second == item.second && recorded - rank[item.second] <= 32;
      ASSERT_EQ(tags.resolve(tag, "r"), kept ? std::optional(item.first) : std::nullopt) << menu << " " << tag;
    }
  }
  EXPECT_EQ(last.size(), Tags::kWindow);
}

// A batch being built keeps its residues however many menus are built
// meanwhile (those share the rest of the window); a dropped batch, moved or
// not, gives its share back.
TEST(RuleItemTagsTest, BatchesBeingBuiltKeepTheirResiduesAndDroppedOnesReturnThem) {
  Tags tags(7);
  std::uint64_t n = 0;
  Tags::Batch a = tags.begin(100);
  const Items aItems = add(a, 100, n);
  std::set<std::int64_t> later;
  for (int menu = 0; menu < 50; ++menu) {
    for (const auto& item : menuOf(tags, 1000, n)) later.insert(item.first);
  }
  later.erase(0);
  EXPECT_EQ(later.size(), Tags::kWindow - 100);
  tags.record(std::move(a));
  for (const auto& [tag, id] : aItems) EXPECT_TRUE(!later.contains(tag) && tags.resolve(tag, "r") == id) << tag;
  {
    Tags::Batch assigned = tags.begin(1), dropped = tags.begin(Tags::kWindow - 1), moved = std::move(dropped);
    assigned = std::move(moved);
  }
  EXPECT_NE(menuOf(tags, Tags::kWindow, n).back().first, 0);
}

}  // namespace
}  // namespace ferlo
