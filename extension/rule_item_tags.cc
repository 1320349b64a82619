#include "extension/rule_item_tags.h"

#include <algorithm>
#include <utility>

namespace ferlo {
namespace {

constexpr std::uint64_t kResidueMask = RuleItemTags::kWindow - 1;

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

// Removes one occurrence of `first` (batches never share a first number).
void forget(std::vector<std::uint64_t>& inFlight, std::uint64_t first) {
  auto it = std::ranges::find(inFlight, first);
  if (it == inFlight.end()) return;
  *it = inFlight.back();
  inFlight.pop_back();
}

}  // namespace

RuleItemTags::Batch::Batch(Batch&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)),
      first_(other.first_),
      tagged_(std::exchange(other.tagged_, 0)),
      processBits_(other.processBits_),
      entries_(std::move(other.entries_)) {}

RuleItemTags::Batch& RuleItemTags::Batch::operator=(Batch&& other) noexcept {
  if (this != &other) {
    release();
    owner_ = std::exchange(other.owner_, nullptr);
    first_ = other.first_;
    tagged_ = std::exchange(other.tagged_, 0);
    processBits_ = other.processBits_;
    entries_ = std::move(other.entries_);
  }
  return *this;
}

RuleItemTags::Batch::~Batch() { release(); }

void RuleItemTags::Batch::release() {
  if (owner_ == nullptr) return;
  std::lock_guard lock(owner_->mutex_);
  forget(owner_->inFlight_, first_);
  owner_ = nullptr;
}

std::int64_t RuleItemTags::Batch::add(const Uuid& id, std::string_view title) {
  if (entries_.size() >= tagged_) return 0;
  const std::uint64_t sequence = first_ + entries_.size();
  entries_.push_back({id, titleHash(title)});
  return processBits_ | static_cast<std::int64_t>(sequence & kResidueMask);
}

RuleItemTags::RuleItemTags(std::uint64_t processIdentifier)
    : processBits_(kFirstTag | static_cast<std::int64_t>((processIdentifier % kProcessModulus) << kSequenceBits)) {}

RuleItemTags::Batch RuleItemTags::begin(std::size_t count) {
  Batch batch;
  batch.processBits_ = processBits_;
  {
    std::lock_guard lock(mutex_);
    // The batch's numbers and those of every batch still being built must
    // fit in one window together.
    std::uint64_t end = nextSequence_ + kWindow;
    for (std::uint64_t first : inFlight_) end = std::min(end, first + kWindow);
    batch.tagged_ = static_cast<std::size_t>(std::min<std::uint64_t>(count, end - nextSequence_));
    if (batch.tagged_ == 0) return batch;
    batch.first_ = nextSequence_;
    batch.owner_ = this;
    inFlight_.push_back(batch.first_);
    nextSequence_ += batch.tagged_;
    // The residues from here on name the batch's items, no longer those of
    // the menus that began before the window.
    if (nextSequence_ > kWindow) {
      const std::uint64_t windowStart = nextSequence_ - kWindow;
      std::erase_if(menus_, [&](const RecordedMenu& menu) { return menu.first < windowStart; });
    }
  }
  batch.entries_.reserve(batch.tagged_);
  return batch;
}

void RuleItemTags::record(Batch batch) {
  if (batch.owner_ != this) return;  // it holds no tags of this object
  std::lock_guard lock(mutex_);
  forget(inFlight_, batch.first_);
  batch.owner_ = nullptr;
  if (batch.entries_.empty()) return;
  menus_.push_back({batch.first_, std::move(batch.entries_)});
  if (menus_.size() > kRetainedMenus) menus_.pop_front();
}

std::optional<Uuid> RuleItemTags::resolve(std::int64_t tag, std::string_view title) const {
  if (tag < kFirstTag || tag >= 2 * kFirstTag) return std::nullopt;
  if ((tag & ~static_cast<std::int64_t>(kResidueMask)) != processBits_) return std::nullopt;
  const auto residue = static_cast<std::uint64_t>(tag) & kResidueMask;
  const std::uint64_t hash = titleHash(title);
  std::lock_guard lock(mutex_);
  // Every kept menu lies within the last kWindow sequence numbers, so the
  // residue names at most one kept item.
  for (const RecordedMenu& menu : menus_) {
    const std::uint64_t offset = (residue - menu.first) & kResidueMask;
    if (offset >= menu.entries.size()) continue;
    const Batch::Entry& entry = menu.entries[offset];
    if (entry.titleHash != hash) return std::nullopt;
    return entry.id;
  }
  return std::nullopt;
}

}  // namespace ferlo
