#include "extension/watched_root_set.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include <utf8proc.h>

namespace ferlo {
namespace {

// Eight bytes at a time: it runs over every root and every path.
bool isAscii(std::string_view text) {
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t any = 0;
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    any |= word;
  }
  for (; n > 0; ++p, --n) any |= static_cast<unsigned char>(*p);
  return (any & 0x8080808080808080ULL) == 0;
}

// Whether a match that ends just after the "/" at `end - 1` ends on a
// character boundary of `key`: the next code point must not join the "/"
// (a combining mark, a zero-width joiner or a spacing mark would).
bool endsCharacter(std::string_view key, std::size_t end) {
  if (end >= key.size()) return true;
  auto next = static_cast<unsigned char>(key[end]);
  if (next < 0x80) return true;
  utf8proc_int32_t codepoint = 0;
  utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(key.data() + end),
                                             static_cast<utf8proc_ssize_t>(key.size() - end), &codepoint);
  if (length < 0) return true;  // an invalid byte joins nothing
  utf8proc_int32_t state = 0;
  return utf8proc_grapheme_break_stateful('/', codepoint, &state);
}

}  // namespace

std::string normalizedRoot(std::string_view root) {
  std::string normalized(root);
  if (normalized.empty() || normalized.back() != '/') normalized.push_back('/');
  return normalized;
}

namespace {

// The canonical decomposition of one run of non-ASCII bytes, appended to
// `out`; false when the run is not valid UTF-8.
bool appendDecomposedRun(std::string_view run, std::string& out) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(run.data());
  const auto length = static_cast<utf8proc_ssize_t>(run.size());
  const auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE);
  // A run is a name or two; the stack holds it, the heap only a long one.
  utf8proc_int32_t local[128];
  std::vector<utf8proc_int32_t> large;
  utf8proc_int32_t* buffer = local;
  utf8proc_ssize_t count = utf8proc_decompose(bytes, length, buffer, 128, options);
  if (count < 0) return false;
  if (count > 128) {
    large.resize(static_cast<std::size_t>(count));
    buffer = large.data();
    count = utf8proc_decompose(bytes, length, buffer, count, options);
    if (count < 0) return false;
  }
  // Re-encoded as UTF-8 in the same buffer, as utf8proc_map does.
  const utf8proc_ssize_t encoded = utf8proc_reencode(buffer, count, options);
  if (encoded < 0) return false;
  out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(encoded));
  return true;
}

// The canonical decomposition of `text` appended to `out`; false (with `out`
// holding a partial decomposition after its old end) when `text` is not
// valid UTF-8.
//
// ASCII characters decompose to themselves and are starters, which
// canonical reordering never moves marks across: the decomposition of the
// whole is the ASCII as it is with each non-ASCII run decomposed on its own.
// That keeps the Unicode tables away from the ASCII, most of a path, and the
// run in a buffer on the stack (utf8proc_map decomposes the whole text twice
// and allocates).
bool appendCanonicalDecomposition(std::string_view text, std::string& out) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
    out.append(text.substr(at, end - at));
    at = end;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
    if (end > at && !appendDecomposedRun(text.substr(at, end - at), out)) return false;
    at = end;
  }
  return true;
}

}  // namespace

std::string canonicalDecomposition(std::string_view text, bool* valid) {
  if (valid != nullptr) *valid = true;
  if (isAscii(text)) return std::string(text);
  std::string decomposed;
  decomposed.reserve(text.size() + text.size() / 2);
  if (!appendCanonicalDecomposition(text, decomposed)) {
    if (valid != nullptr) *valid = false;
    return std::string(text);
  }
  return decomposed;
}

namespace {

// The hash of a prefix that ends in "/", folded in one "/"-ended segment at
// a time, eight bytes per step: a path is hashed in one pass, and at each
// "/" the hash of everything up to it is at hand. Equal prefixes hash
// equal; unequal ones may collide, and are then told apart by their bytes.
constexpr std::uint64_t kHashStart = 0x243F6A8885A308D3ULL;

inline std::uint64_t mix(std::uint64_t h) {
  h *= 0x9E3779B97F4A7C15ULL;
  return h ^ (h >> 29);
}

// The segment is key[start, end) of a key of `size` bytes, all readable:
// that lets the last 1-7 bytes come in one load of eight bytes of the key
// (those that end the segment, or those that begin it near the key's start)
// instead of one load per byte.
inline std::uint64_t foldSegment(std::uint64_t h, const char* key, std::size_t size, std::size_t start,
                                 std::size_t end) {
  const char* p = key + start;
  std::size_t n = end - start;
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    h = mix(h ^ word);
    p += 8;
    n -= 8;
  }
  std::uint64_t tail = n;  // the length keeps "ab" apart from "ab\0"
  if (n == 0) return mix(h ^ tail);
  if (std::endian::native == std::endian::little && end >= 8) {
    // The word's high n bytes are the tail; shifted down, byte i of the
    // tail lands in byte i, as the loop below places it.
    std::uint64_t word;
    std::memcpy(&word, key + end - 8, sizeof word);
    return mix(h ^ (tail | (word >> (8 * (8 - n)) << 8)));
  }
  if (std::endian::native == std::endian::little && end - n + 8 <= size) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return mix(h ^ (tail | (word << (8 * (8 - n)) >> (8 * (8 - n)) << 8)));
  }
  for (std::size_t i = 0; i < n; ++i) tail |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i + 8);
  return mix(h ^ tail);
}

// The first "/" in [from, end) of `p`, or `end`. Eight bytes at a time:
// the spans between slashes are short, and a call to memchr per span cost
// more than the span.
inline std::size_t findSlash(const char* p, std::size_t from, std::size_t end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    for (; from + 8 <= end; from += 8) {
      std::uint64_t word;
      std::memcpy(&word, p + from, sizeof word);
      const std::uint64_t x = word ^ (kOnes * '/');  // a zero byte where a "/" is
      // The lowest flagged byte is the first zero byte (a borrow can only
      // flag bytes above a true zero).
      const std::uint64_t flagged = (x - kOnes) & ~x & kHighs;
      if (flagged != 0) return from + static_cast<std::size_t>(std::countr_zero(flagged)) / 8;
    }
  }
  for (; from < end; ++from) {
    if (p[from] == '/') return from;
  }
  return end;
}

// The hash of a whole key that ends in "/".
std::uint64_t hashKey(std::string_view key) {
  std::uint64_t h = kHashStart;
  std::size_t start = 0;
  for (std::size_t slash = findSlash(key.data(), 0, key.size()); slash < key.size();
       slash = findSlash(key.data(), slash + 1, key.size())) {
    h = foldSegment(h, key.data(), key.size(), start, slash + 1);
    start = slash + 1;
  }
  return h;
}

}  // namespace

WatchedRootSet::WatchedRootSet(const std::vector<std::string>& roots) {
  // The match forms first, side by side, then the table sized for them.
  std::vector<Form> candidates;
  candidates.reserve(roots.size());
  std::size_t total = 0;
  for (const std::string& root : roots) total += root.size() + 1;
  bytes_.reserve(total);
  for (const std::string& root : roots) {
    if (isAscii(root)) {
      // ASCII is its own canonical form: no Unicode tables, no allocation.
      const std::size_t offset = bytes_.size();
      bytes_.append(root);
      if (root.empty() || root.back() != '/') bytes_.push_back('/');
      candidates.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(bytes_.size() - offset)});
      continue;
    }
    // The canonical form is decomposed straight into `bytes_` (the final
    // "/" is ASCII, a starter, so it decomposes to itself after the rest).
    const bool slash = root.back() == '/';
    const std::size_t offset = bytes_.size();
    if (!appendCanonicalDecomposition(root, bytes_)) {
      // Invalid UTF-8 has no canonical form: its bytes as written are its
      // only form.
      bytes_.resize(offset);
      bytes_.append(root);
      if (!slash) bytes_.push_back('/');
      candidates.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(bytes_.size() - offset)});
      continue;
    }
    if (!slash) bytes_.push_back('/');
    const std::size_t length = bytes_.size() - offset;
    candidates.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    // The bytes as written also serve paths that have no canonical form
    // (invalid UTF-8); a valid path can only reach this form when it equals
    // the canonical one, so adding it changes nothing for valid paths.
    const std::string_view canonical = std::string_view(bytes_).substr(offset, length - (slash ? 0 : 1));
    if (canonical != root) {
      const std::size_t written = bytes_.size();
      bytes_.append(root);
      if (!slash) bytes_.push_back('/');
      candidates.push_back({static_cast<std::uint32_t>(written), static_cast<std::uint32_t>(bytes_.size() - written)});
    }
  }
  std::size_t capacity = 8;
  while (capacity < 2 * candidates.size()) capacity *= 2;
  slots_.resize(capacity);
  forms_.reserve(candidates.size());
  for (const Form& form : candidates) insert(form.offset, form.length);
  lengths_.assign(longest_ / 64 + 1, 0);
  for (const Form& form : forms_) lengths_[form.length / 64] |= std::uint64_t{1} << (form.length % 64);
}

void WatchedRootSet::insert(std::size_t offset, std::size_t length) {
  const std::string_view key = std::string_view(bytes_).substr(offset, length);
  const std::uint64_t hash = hashKey(key);
  const auto tag = static_cast<std::uint32_t>(hash >> 32);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    Slot& slot = slots_[at];
    if (slot.form == 0) {
      forms_.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
      slot = {tag, static_cast<std::uint32_t>(forms_.size())};
      ++count_;
      longest_ = std::max(longest_, length);
      return;
    }
    const Form& form = forms_[slot.form - 1];
    if (slot.tag == tag && form.length == length && std::memcmp(bytes_.data() + form.offset, key.data(), length) == 0) {
      return;  // a duplicate root
    }
  }
}

bool WatchedRootSet::holds(std::uint64_t hash, std::string_view prefix) const {
  const auto tag = static_cast<std::uint32_t>(hash >> 32);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot slot = slots_[at];
    if (slot.form == 0) return false;
    if (slot.tag != tag) continue;
    const Form& form = forms_[slot.form - 1];
    if (form.length == prefix.size() && std::memcmp(bytes_.data() + form.offset, prefix.data(), prefix.size()) == 0) {
      return true;
    }
  }
}

bool WatchedRootSet::containsPath(std::string_view path) const {
  if (empty()) return false;
  // Most paths are plain ASCII, already in canonical form: walk them as given.
  std::string decomposed;
  std::string_view key = path;
  if (!isAscii(path)) {
    decomposed = canonicalDecomposition(path);
    key = decomposed;
  }
  const std::size_t searched = std::min(key.size(), longest_);
  std::uint64_t hash = kHashStart;
  std::size_t start = 0;
  for (std::size_t slash = findSlash(key.data(), 0, searched); slash < searched;
       slash = findSlash(key.data(), slash + 1, searched)) {
    hash = foldSegment(hash, key.data(), key.size(), start, slash + 1);
    start = slash + 1;
    // A root that ends inside a larger character does not match here, but a
    // longer root may still match further on.
    const std::size_t length = slash + 1;
    if ((lengths_[length / 64] >> (length % 64) & 1) == 0) continue;
    if (holds(hash, key.substr(0, length)) && endsCharacter(key, length)) return true;
  }
  return false;
}

}  // namespace ferlo
