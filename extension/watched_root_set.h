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
  [[nodiscard]] bool empty() const { return nodes_.size() == 1; }

  // Whether `path` (a standardised absolute path) lies under some root.
  // Thread-safe: the set is not changed by asking.
  [[nodiscard]] bool containsPath(std::string_view path) const;

 private:
  // A byte trie of the roots' match forms; a node is terminal where a whole
  // root ends. Every root ends in "/", so terminals sit just after a "/".
  struct Node {
    std::vector<std::pair<unsigned char, std::uint32_t>> edges;  // sorted by byte
    bool terminal = false;
  };

  void insert(std::string_view key);
  [[nodiscard]] std::uint32_t child(std::uint32_t node, unsigned char byte) const;

  std::vector<Node> nodes_;
};

}  // namespace ferlo
