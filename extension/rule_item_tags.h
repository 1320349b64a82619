// RuleItemTags: how a click on a rule item finds the rule the user saw.
//
// The Finder does not hand the extension's own menu item back to the action:
// it rebuilds the chosen item in another process and keeps only its title,
// action, image, enabled state, tag, state and indentation. A represented
// object does not survive, so a rule item also carries its rule in its tag.
//
// Each menu build records its rule items here under fresh tags; a click
// gives back the tag and the title it saw. A tag holds the extension
// process's identifier in its upper bits and a per-process sequence number
// in its lower 31, so that
//   - tags never repeat within the process, so a click on an item of an
//     older menu still finds the rule that item showed, however the host has
//     rewritten "rules.json" since, and however many menus were built since;
//   - a tag made by another extension process (one per Finder window or open
//     panel, each with its own menus), or by this process before a restart,
//     is not found here, or is refused because its title differs: such a
//     click resolves to nothing rather than to some other rule.
// Tags stay below 2^53, so that they survive a trip through a JSON number.
//
// Memory: the newest menu is always kept whole; older menus are kept while
// they hold at most kRetainedEntries items in all and number at most
// kRetainedMenus. A click on an item of a menu dropped since resolves to
// nothing.
//
// Thread-safe: menus may be built and clicks delivered on several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "exchange/uuid.h"

namespace ferlo {

class RuleItemTags {
 public:
  static constexpr std::size_t kRetainedMenus = 32;
  static constexpr std::size_t kRetainedEntries = std::size_t{1} << 18;

  // One menu's rule items, in menu order, while the menu is being built.
  class Batch {
   public:
    // The tag of the next rule item, which shows `title` and runs `id`.
    [[nodiscard]] std::int64_t add(const Uuid& id, std::string_view title);

   private:
    friend class RuleItemTags;
    struct Entry {
      Uuid id;
      std::uint64_t titleHash;
    };
    std::uint64_t first_ = 0;  // sequence number of the first item
    std::int64_t processBits_ = 0;
    std::vector<Entry> entries_;
  };

  // `processIdentifier` is the extension process's identifier; only its low
  // 22 bits are used (identifiers on the supported systems fit).
  explicit RuleItemTags(std::uint64_t processIdentifier);
  RuleItemTags(const RuleItemTags&) = delete;
  RuleItemTags& operator=(const RuleItemTags&) = delete;

  // A batch for a menu of up to `count` rule items, with its tags reserved.
  [[nodiscard]] Batch begin(std::size_t count);
  // Makes the batch's tags resolvable.
  void record(Batch batch);

  // The rule id behind `tag`, when this process made that tag for an item
  // titled `title`; none for any other tag or title.
  [[nodiscard]] std::optional<Uuid> resolve(std::int64_t tag, std::string_view title) const;

 private:
  struct RecordedMenu {
    std::uint64_t first;
    std::vector<Batch::Entry> entries;
  };

  const std::int64_t processBits_;
  mutable std::mutex mutex_;
  std::uint64_t nextSequence_ = 0;
  std::deque<RecordedMenu> menus_;  // oldest first
  std::size_t entryCount_ = 0;
};

}  // namespace ferlo
