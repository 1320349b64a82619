#include "extension/watched_root_set.h"

#include <algorithm>
#include <cstdlib>

#include <utf8proc.h>

namespace ferlo {
namespace {

constexpr std::uint32_t kNoNode = 0;  // the root node is never anyone's child

bool isAscii(std::string_view text) {
  unsigned char any = 0;
  for (unsigned char c : text) any |= c;
  return any < 0x80;
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

std::string canonicalDecomposition(std::string_view text, bool* valid) {
  if (valid != nullptr) *valid = true;
  if (isAscii(text)) return std::string(text);
  utf8proc_uint8_t* mapped = nullptr;
  utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()), static_cast<utf8proc_ssize_t>(text.size()),
                   &mapped, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE));
  if (length < 0) {
    if (valid != nullptr) *valid = false;
    return std::string(text);
  }
  std::string decomposed(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::free(mapped);
  return decomposed;
}

WatchedRootSet::WatchedRootSet(const std::vector<std::string>& roots) : nodes_(1) {
  for (const std::string& root : roots) {
    std::string normalized = normalizedRoot(root);
    std::string canonical = canonicalDecomposition(normalized);
    insert(canonical);
    // The bytes as written also serve paths that have no canonical form
    // (invalid UTF-8); a valid path can only reach this form when it equals
    // the canonical one, so adding it changes nothing for valid paths.
    if (canonical != normalized) insert(normalized);
  }
}

void WatchedRootSet::insert(std::string_view key) {
  std::uint32_t node = 0;
  for (unsigned char byte : key) {
    std::uint32_t next = child(node, byte);
    if (next == kNoNode) {
      next = static_cast<std::uint32_t>(nodes_.size());
      nodes_.emplace_back();
      auto& edges = nodes_[node].edges;
      auto at = std::lower_bound(edges.begin(), edges.end(), byte,
                                 [](const auto& edge, unsigned char b) { return edge.first < b; });
      edges.insert(at, {byte, next});
    }
    node = next;
  }
  nodes_[node].terminal = true;
}

std::uint32_t WatchedRootSet::child(std::uint32_t node, unsigned char byte) const {
  const auto& edges = nodes_[node].edges;
  auto at = std::lower_bound(edges.begin(), edges.end(), byte,
                             [](const auto& edge, unsigned char b) { return edge.first < b; });
  return at != edges.end() && at->first == byte ? at->second : kNoNode;
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
  std::uint32_t node = 0;
  for (std::size_t i = 0; i < key.size(); ++i) {
    node = child(node, static_cast<unsigned char>(key[i]));
    if (node == kNoNode) return false;
    // A root that ends inside a larger character does not match here, but a
    // longer root further down the same branch still may.
    if (nodes_[node].terminal && endsCharacter(key, i + 1)) return true;
  }
  return false;
}

}  // namespace ferlo
