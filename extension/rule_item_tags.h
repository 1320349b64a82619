// RuleItemTags: how a click on a rule item finds the rule the user saw.
//
// The Finder does not hand the extension's own menu item back to the action:
// it rebuilds the chosen item in another process and keeps only its title,
// action, image, enabled state, tag, state and indentation. A represented
// object does not survive, so a rule item also carries its rule in its tag.
//
// Each menu build records its rule items here under fresh tags; a click
// gives back the tag and the title it saw. A tag fits a positive 32-bit
// signed integer, so nothing between the menu and the click can narrow it:
//   bit 30      always set: every rule item's tag lies in [2^30, 2^31), far
//               above the expiry items' tags (0, 1, 7, 30);
//   bits 13-29  the process identifier modulo 2^17. macOS identifiers stay
//               below 100,000, so two live extension processes (one per
//               Finder window or open panel) never share these bits and a
//               tag of another process is refused outright. The Linux
//               stand-in's getpid() may be larger and is folded, so there
//               two processes can share them;
//   bits 0-12   the item's sequence number in this process modulo 2^13,
//               its residue in a window of kWindow numbers.
// The sequence number itself never wraps, and every item that can still be
// resolved (of a recorded menu or of a batch still being built) lies within
// the last kWindow numbers handed out, so a residue names at most one such
// item: a tag is only issued again once the item it named can no longer be
// resolved. Hence a click on an item of an older menu finds the rule that
// item showed, however the host has rewritten "rules.json" since, as long as
// the menu is kept; a click on a dropped menu's item, on another process's
// item, or with a title other than the item's, resolves to nothing rather
// than to some other rule. What remains: a tag made by an earlier process
// with the same (folded) identifier, or one whose item was dropped and whose
// residue was issued again, resolves to the new item if that item has the
// very same title.
//
// Memory: at most kRetainedMenus menus, all within the window. A new batch
// drops the recorded menus whose first sequence number its numbers push out
// of the window (in whatever order they were recorded); the newest menu
// stays whole until a later one needs its numbers. A batch gets at most as many tags as the
// window leaves beside the batches still being built; its further items,
// and those of a menu larger than the window, get the tag 0, which resolves
// to nothing.
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
  static constexpr int kSequenceBits = 13;
  static constexpr std::uint64_t kWindow = std::uint64_t{1} << kSequenceBits;
  static constexpr std::int64_t kFirstTag = std::int64_t{1} << 30;  // rule tags lie in [kFirstTag, 2 * kFirstTag)
  static constexpr std::uint64_t kProcessModulus = std::uint64_t{1} << 17;

  // One menu's rule items, in menu order, while the menu is being built. Its
  // tags stay reserved until it is recorded or destroyed; it must not
  // outlive its RuleItemTags.
  class Batch {
   public:
    Batch() = default;
    Batch(Batch&& other) noexcept;
    Batch& operator=(Batch&& other) noexcept;
    ~Batch();

    // The tag of the next rule item, which shows `title` and runs `id`; 0
    // past the batch's share of the window.
    [[nodiscard]] std::int64_t add(const Uuid& id, std::string_view title);

   private:
    friend class RuleItemTags;
    struct Entry {
      Uuid id;
      std::uint64_t titleHash;
    };
    void release();

    RuleItemTags* owner_ = nullptr;  // set while it holds a reservation
    std::uint64_t first_ = 0;        // sequence number of the first item
    std::size_t tagged_ = 0;         // how many of its items get a tag
    std::int64_t processBits_ = 0;
    std::vector<Entry> entries_;
  };

  // `processIdentifier` is the extension process's identifier; it is taken
  // modulo kProcessModulus.
  explicit RuleItemTags(std::uint64_t processIdentifier);
  RuleItemTags(const RuleItemTags&) = delete;
  RuleItemTags& operator=(const RuleItemTags&) = delete;

  // A batch for a menu of up to `count` rule items, with its tags reserved.
  [[nodiscard]] Batch begin(std::size_t count);
  // Makes the batch's tags resolvable.
  void record(Batch batch);

  // The rule id behind `tag`, when this process made that tag for an item
  // titled `title` that is still kept; none for any other tag or title.
  [[nodiscard]] std::optional<Uuid> resolve(std::int64_t tag, std::string_view title) const;

 private:
  struct RecordedMenu {
    std::uint64_t first;
    std::vector<Batch::Entry> entries;
  };

  const std::int64_t processBits_;
  mutable std::mutex mutex_;
  std::uint64_t nextSequence_ = 0;
  std::vector<std::uint64_t> inFlight_;  // first sequence numbers of the batches being built
  std::deque<RecordedMenu> menus_;       // in the order recorded
};

}  // namespace ferlo
