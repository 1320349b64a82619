// The fast paths of selection resolution, each held against the plain way
// of computing the same thing:
//   - canonicalDecomposition decomposes only the non-ASCII runs of a text;
//     utf8proc_map decomposes the whole text;
//   - WatchedRootSet finds roots through a hash table probed at each "/" of
//     the path; the reference tries every root from scratch.
#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "extension/selection.h"
#include "extension/selection_reference.h"
#include "extension/watched_root_set.h"

namespace ferlo {
namespace {

// NFD of the whole text in one utf8proc call, and whether it was valid.
std::string wholeTextDecomposition(std::string_view text, bool& valid) {
  utf8proc_uint8_t* mapped = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()), static_cast<utf8proc_ssize_t>(text.size()),
                   &mapped, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE));
  valid = length >= 0;
  if (!valid) return std::string(text);
  std::string out(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::free(mapped);
  return out;
}

// Pieces whose neighbours matter to decomposition: marks that reorder
// (dot below ccc 220, acute 230, ypogegrammeni 240) after ASCII and after
// precomposed letters, a Hangul syllable (algorithmic decomposition), a
// singleton (Angstrom sign), NUL, and invalid or truncated sequences.
const std::vector<std::string> kTextPieces = {
    "a",          "/",          "e",          "\xCC\x81",   "\xCC\xA3",       "\xCD\x85",   "\xC3\xA9",
    "\xE1\xB8\x8D", "\xEA\xB0\x80", "\xE2\x84\xAB", std::string(1, '\0'), "\xF0\x9F\x8E\xB5", "\xC3",
    "\xFF",       "\xED\xA0\x80", "\xE5\x86\x99", "\xCE\xAC",   "x y",            "..",         "\xE2\x80\x8D",
};

std::string randomText(std::mt19937& random, std::size_t maxPieces) {
  std::string text;
  const std::size_t pieces = random() % (maxPieces + 1);
  for (std::size_t i = 0; i < pieces; ++i) text += kTextPieces[random() % kTextPieces.size()];
  return text;
}

TEST(CanonicalDecompositionFastPathTest, AgreesWithDecomposingTheWholeText) {
  std::mt19937 random(314159u);  // fixed starting state: failures reproduce
  int invalid = 0;
  for (int round = 0; round < 50'000; ++round) {
    // Now and then a text longer than the on-stack buffer of a run.
    const std::string text = randomText(random, round % 100 == 0 ? 200 : 12);
    bool expectedValid = false;
    const std::string expected = wholeTextDecomposition(text, expectedValid);
    bool valid = !expectedValid;
    ASSERT_EQ(canonicalDecomposition(text, &valid), expected) << "round " << round;
    ASSERT_EQ(valid, expectedValid) << "round " << round;
    invalid += !valid;
  }
  EXPECT_GT(invalid, 5'000);
  EXPECT_LT(invalid, 45'000);
}

// Paths and roots over a small alphabet of components, so that many roots
// share prefixes, many paths lie under several roots, and canonically
// equivalent spellings meet.
const std::vector<std::string> kComponents = {
    "Users", "u", "Caf\xC3\xA9", "Cafe\xCC\x81", "Cafe", "in", "inbox", "\xC3\x85", "A\xCC\x8A", "\xE2\x84\xAB",
    "\xCC\x81", "\xFF", "",     ".",    "..",   ".hidden", "..x", "a b",
};

std::string randomComponentPath(std::mt19937& random, std::size_t maxDepth) {
  std::string path;
  const std::size_t depth = random() % (maxDepth + 1);
  for (std::size_t i = 0; i < depth; ++i) path += "/" + kComponents[random() % kComponents.size()];
  return path;
}

TEST(WatchedRootSetFastPathTest, AgreesWithTryingEveryRootOnLargeSets) {
  std::mt19937 random(271828u);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> roots;
    const std::size_t count = 1 + random() % 2000;
    for (std::size_t i = 0; i < count; ++i) {
      std::string root = randomComponentPath(random, 4);
      if (random() % 4 == 0) root += "/";
      roots.push_back(root);
    }
    if (random() % 3 == 0) roots.push_back(roots.front());  // a duplicate
    const WatchedRootSet set(roots);
    for (int query = 0; query < 300; ++query) {
      const std::string path = randomComponentPath(random, 6);
      bool expected = false;
      for (const std::string& root : roots) {
        if (pathUnderRootReference(path, root)) {
          expected = true;
          break;
        }
      }
      ASSERT_EQ(set.containsPath(path), expected) << "round " << round << " path \"" << path << "\"";
    }
  }
}

}  // namespace
}  // namespace ferlo
