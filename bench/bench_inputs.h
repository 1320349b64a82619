// Inputs of the benchmarks, made deterministically at start-up so that no
// large file lives in the repository and every run measures the same bytes.
//
// Manifests: one rule per line, ids in upper, lower and mixed case, names
// mixing ASCII with precomposed (NFC) and decomposed (NFD) accented letters,
// CJK, Cyrillic, Greek and emoji, a few with JSON escapes; an unknown member
// at the top level and a handful of watched roots.
//
// Selections: file and folder URLs under a set of watched roots, and some
// outside every root; with ASCII-only names, or with non-ASCII names whose
// roots are written in NFC while the Finder's paths come in NFD (and the
// other way round), the case that needs canonical equivalence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_url.h"

namespace ferlo::bench {

// splitmix64: small, fast, and the same sequence on every platform (unlike
// the standard distributions, whose output the library may choose).
class Sequence {
 public:
  explicit Sequence(std::uint64_t start) : state_(start) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A value in [0, bound).
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

 private:
  std::uint64_t state_;
};

struct ManifestShape {
  const char* label;         // "1KB", "1MB", "64MB"
  std::size_t rules;         // number of rules
  std::size_t targetBytes;   // about this many bytes in all
};

inline constexpr ManifestShape kManifestShapes[] = {
    {"1KB", 10, 1024},
    {"1MB", 15'000, 1 << 20},
    {"64MB", 1'000'000, 64u << 20},
};

// The manifest text for `shape`; the same bytes at every call.
[[nodiscard]] std::string makeManifestText(const ManifestShape& shape);

// The watched roots written into every generated manifest.
[[nodiscard]] std::vector<std::string> manifestWatchedRoots();

enum class NameScript {
  ascii,  // every root and path pure ASCII
  mixed,  // half the names non-ASCII: roots in NFC with paths in NFD, and the reverse
};

struct SelectionInput {
  std::vector<std::string> roots;
  std::vector<FileURL> items;
};

// `items` Finder items against `rootCount` roots: about 5% folders, 15% files
// outside every root, the rest files at some depth under a root (some with
// "." or ".." components to standardise).
[[nodiscard]] SelectionInput makeSelection(std::size_t items, std::size_t rootCount, NameScript script);

// Selected items for a menu build over `manifestRoots`: mostly files under
// the roots, some folders, some files elsewhere.
[[nodiscard]] std::vector<FileURL> makeMenuSelection(std::size_t items, const std::vector<std::string>& manifestRoots);

}  // namespace ferlo::bench
