#include "extension/rule_item_tags.h"

#include <utility>

namespace ferlo {
namespace {

constexpr int kSequenceBits = 31;
constexpr std::uint64_t kSequenceMask = (std::uint64_t{1} << kSequenceBits) - 1;
constexpr std::uint64_t kProcessMask = (std::uint64_t{1} << 22) - 1;

// FNV-1a: the title check only has to tell a stale or foreign tag from the
// item it was made for, not resist an adversary.
std::uint64_t titleHash(std::string_view title) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : title) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::int64_t processBitsFor(std::uint64_t processIdentifier) {
  std::uint64_t bits = processIdentifier & kProcessMask;
  // Never 0, so that no rule item's tag is small enough to look like an
  // ordinary tag (the expiry items use 0 to 30).
  if (bits == 0) bits = kProcessMask;
  return static_cast<std::int64_t>(bits << kSequenceBits);
}

}  // namespace

std::int64_t RuleItemTags::Batch::add(const Uuid& id, std::string_view title) {
  const std::uint64_t sequence = first_ + entries_.size();
  entries_.push_back({id, titleHash(title)});
  return processBits_ | static_cast<std::int64_t>(sequence & kSequenceMask);
}

RuleItemTags::RuleItemTags(std::uint64_t processIdentifier) : processBits_(processBitsFor(processIdentifier)) {}

RuleItemTags::Batch RuleItemTags::begin(std::size_t count) {
  Batch batch;
  batch.processBits_ = processBits_;
  batch.entries_.reserve(count);
  std::lock_guard lock(mutex_);
  batch.first_ = nextSequence_;
  nextSequence_ += count;
  return batch;
}

void RuleItemTags::record(Batch batch) {
  std::lock_guard lock(mutex_);
  entryCount_ += batch.entries_.size();
  menus_.push_back({batch.first_, std::move(batch.entries_)});
  while (menus_.size() > 1 && (menus_.size() > kRetainedMenus || entryCount_ > kRetainedEntries)) {
    entryCount_ -= menus_.front().entries.size();
    menus_.pop_front();
  }
}

std::optional<Uuid> RuleItemTags::resolve(std::int64_t tag, std::string_view title) const {
  if ((tag & ~static_cast<std::int64_t>(kSequenceMask)) != processBits_) return std::nullopt;
  const auto sequence = static_cast<std::uint64_t>(tag) & kSequenceMask;
  const std::uint64_t hash = titleHash(title);
  std::lock_guard lock(mutex_);
  // The retained menus span far fewer than 2^31 sequence numbers, so the
  // low 31 bits name at most one recorded item.
  for (const RecordedMenu& menu : menus_) {
    const std::uint64_t offset = (sequence - menu.first) & kSequenceMask;
    if (offset >= menu.entries.size()) continue;
    const Batch::Entry& entry = menu.entries[offset];
    if (entry.titleHash != hash) return std::nullopt;
    return entry.id;
  }
  return std::nullopt;
}

}  // namespace ferlo
