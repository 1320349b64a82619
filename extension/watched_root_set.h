// WatchedRootSet: the host's watched roots, prepared once so that any number
// of paths can be asked "does this lie under one of the roots?" in time that
// grows with the path's length only, however many roots there are.
//
// A root is used in its normalised form: "/" appended unless it already ends
// in "/", the empty root becoming "/"; nothing else is changed (no "~"
// expansion, no standardisation, no change of case, no trimming). A path lies
// under a root when it begins with the normalised root, compared
// case-sensitively as Unicode text under canonical equivalence (a precomposed
// letter equals its decomposed form), and the root's final "/" ends a whole
// character of the path: a "/" that a following combining mark extends into a
// larger character does not end the match.
//
// Text that is not valid UTF-8 has no canonical form and is compared by its
// bytes: such a path matches a root whose bytes, or whose canonical form,
// begin it; such a root matches paths that begin with exactly its bytes.
//
//   WatchedRootSet roots({"/r/in", "/Users/u/Caf\u00e9"});
//   roots.containsPath("/r/in/a.txt");               // true
//   roots.containsPath("/r/inbox/b.txt");            // false
//   roots.containsPath("/Users/u/Cafe\u0301/x.png");  // true
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ferlo {

// The root with "/" appended unless it already ends in "/"; "" gives "/".
//   normalizedRoot("/r/in") == "/r/in/";  normalizedRoot("/r/in/") == "/r/in/"
[[nodiscard]] std::string normalizedRoot(std::string_view root);

// The text in canonical decomposition (NFD), the form in which canonically
// equivalent texts are byte-equal; pure ASCII is returned as it is without
// consulting the Unicode tables, and invalid UTF-8 is returned as it is.
// Sets `*valid` (when given) to whether the text is valid UTF-8.
[[nodiscard]] std::string canonicalDecomposition(std::string_view text, bool* valid = nullptr);

class WatchedRootSet {
 public:
  // Normalises each root once. Duplicate roots collapse into one.
  explicit WatchedRootSet(const std::vector<std::string>& roots);

  // True when there were no roots at all; then no path lies under a root.
  [[nodiscard]] bool empty() const { return count_ == 0; }

  // Whether `path` (a standardised absolute path) lies under some root.
  // Thread-safe: the set is not changed by asking.
  [[nodiscard]] bool containsPath(std::string_view path) const;

 private:
  // The roots' match forms, each ending in "/", side by side in `bytes_`,
  // found through an open-addressing hash table keyed by a hash that is
  // computed "/"-segment by "/"-segment. A path is walked once: at each "/"
  // the hash of the prefix up to it is at hand, and one probe says whether
  // some root is exactly that prefix. The cost grows with the path's length
  // (and its number of "/"), not with the number of roots.
  struct Slot {
    std::uint32_t tag = 0;   // the hash's high half: most misses end here
    std::uint32_t form = 0;  // 1 + the index in forms_; 0 for an empty slot
  };
  struct Form {
    // 32 bits suffice: the roots come from a manifest, which the parser
    // refuses beyond 4 GiB.
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
  };

  void insert(std::size_t offset, std::size_t length);
  [[nodiscard]] bool holds(std::uint64_t hash, std::string_view prefix) const;

  std::string bytes_;
  std::vector<Form> forms_;  // the distinct match forms, in bytes_
  std::vector<Slot> slots_;  // a power of two in size, at most half full; 8 bytes a slot, for the cache
  std::size_t count_ = 0;
  std::size_t longest_ = 0;  // no prefix longer than the longest root can match
  // Bit n set when some root is n bytes long: a prefix of any other length
  // is not looked up, which spares most probes of a path's leading
  // components ("/Users/", "/Users/name/") that no root ends at.
  std::vector<std::uint64_t> lengths_;
};

}  // namespace ferlo
