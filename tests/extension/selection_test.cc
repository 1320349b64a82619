// Which selected files lie under the watched roots, and the fast paths of
// that, each held against the plain way of computing the same thing. Which
// folder a command acts on is the commands' test.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "extension/selection.h"
#include "tests/support/selection_reference.h"
#include "extension/watched_root_set.h"
#include "extension_test_support.h"

namespace ferlo {
namespace {

using namespace testing;  // the shared set-up of extension_test_support.h

std::vector<std::string> texts(const std::vector<FileURL>& urls) {
  std::vector<std::string> out;
  for (const FileURL& url : urls) out.push_back(url.absoluteString());
  return out;
}

const std::string kCafeNfc = "/Users/u/Caf\xC3\xA9";   // é precomposed
const std::string kCafeNfd = "/Users/u/Cafe\xCC\x81";  // e + combining acute
const std::string kAcute = "\xCC\x81";                  // U+0301 on its own

// The boundaries of "under a root"; the differential tests below hold the
// fast paths to the reference on everything else.
TEST(SelectionTest, FilesUnderARootAreKeptAsGivenInSelectionOrder) {
  const struct {
    const char* name;
    std::vector<std::string> roots;
    std::vector<FileURL> selection;
    std::vector<std::size_t> kept;  // indices into selection
  } cases[] = {
      {"RootConfinedToItsOwnFolder", {"/r/in/"}, {fileAt("/r/in/a.txt"), fileAt("/r/inbox/b.txt")}, {0}},
      {"SlashRootMatchesEveryFile", {"/"}, {fileAt("/a"), fileAt("/x/y/z")}, {0, 1}},
      {"EmptyRootMatchesEveryFile", {""}, {fileAt("/a")}, {0}},
      {"FolderUnderRootIsNeverAFile", {"/r/in"}, {folderAt("/r/in/sub"), fileAt("/r/in/f")}, {1}},
      {"PathsAreStandardised", {"/r/in"},
       {fileAt("/r//in/./a.txt"), fileAt("/r/in/../out/a"), fileAt("/r/in/x/../../in/b"), fileAt("/r/inbox/c")},
       {0, 2}},
      {"PercentDecodedPath", {"/r/in dir"}, {*FileURL::fromString("file:///r/in%20dir/a%20b.txt")}, {0}},
      {"PrecomposedRootDecomposedPath", {kCafeNfc}, {fileAt(kCafeNfd + "/menu.png")}, {0}},
      {"AccentIsNotIgnored", {"/Users/u/Cafe"}, {fileAt(kCafeNfc + "/a"), fileAt(kCafeNfd + "/b")}, {}},
      // A combining mark right after the root's "/" makes "/" plus the mark
      // one character, which the root's "/" does not equal.
      {"MarkAfterRootSlashIsNotUnderRoot", {"/r/in"}, {fileAt("/r/in/" + kAcute + "x")}, {}},
  };
  for (const auto& c : cases) {
    const Selection selection{c.selection, std::nullopt};
    std::vector<std::string> expected;
    for (std::size_t i : c.kept) expected.push_back(c.selection[i].absoluteString());
    EXPECT_EQ(texts(selectedFileURLs(selection, c.roots)), expected) << c.name;
    EXPECT_EQ(texts(selectedFileURLsReference(selection, c.roots)), expected) << c.name << ": the reference disagrees";
  }
}

// Path pieces chosen to collide: canonically equivalent spellings, sibling
// prefixes, dot components, empty components, lone marks, invalid bytes.
const std::vector<std::string> kPieces = {
    "r", "in", "inbox", "i", "Caf\xC3\xA9", "Cafe\xCC\x81", "Cafe", "\xC3\x85", "A\xCC\x8A", "\xE2\x84\xAB",
    "s\xCC\xA3\xCC\x87", "s\xCC\x87\xCC\xA3", "\xE1\xB9\xA9", "..", ".", "", "\xCC\x81", "\xCC\x81x", "~", "\xFF",
    "\xE2\x80\x8D", "R", "a b", ".hidden", "..x",
};

// Up to `maxPieces` pieces, now and then with a final "/".
std::string randomPath(std::mt19937& random, bool absolute, std::size_t maxPieces = 4) {
  std::string path = absolute ? "/" : "";
  for (std::size_t i = random() % (maxPieces + 1); i > 0; --i) path += kPieces[random() % kPieces.size()] + "/";
  if (random() % 3 != 0 && !path.empty() && path != "/") path.pop_back();
  return path;
}

TEST(SelectionDifferentialTest, FastSelectedFilesAgreeWithTheNaiveReference) {
  std::mt19937 random(20240611u);  // fixed starting state: failures reproduce
  int kept = 0, dropped = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::string> roots;
    for (std::size_t i = random() % 6; i > 0; --i) {
      const auto kind = random() % 8;  // now and then an empty root, "/" or a duplicate
      roots.push_back(kind == 0 ? "" : kind == 1 ? "/" : kind == 2 ? (roots.empty() ? "/r" : roots.front())
                                                                   : randomPath(random, random() % 6 != 0));
    }
    std::vector<FileURL> selection;
    for (std::size_t i = random() % 8; i > 0; --i) selection.push_back(fileAt(randomPath(random, true)));
    const Selection reading{selection, std::nullopt};
    const std::vector<std::string> fast = texts(selectedFileURLs(reading, roots));
    ASSERT_EQ(fast, texts(selectedFileURLsReference(reading, roots))) << "round " << round;
    kept += static_cast<int>(fast.size());
    for (const FileURL& url : selection) dropped += !url.hasDirectoryPath();
  }
  // The generator must exercise both outcomes, or the agreement means little.
  EXPECT_GT(kept, 1000);
  EXPECT_GT(dropped - kept, 1000);
}

// canonicalDecomposition decomposes only the non-ASCII runs of a text;
// the reference, utf8proc_map, decomposes the whole text. Pieces whose neighbours matter:
// marks that reorder (dot below ccc 220, acute 230, ypogegrammeni 240) after
// ASCII and after precomposed letters, a Hangul syllable (algorithmic
// decomposition), a singleton (Angstrom sign), NUL, and invalid or truncated
// sequences.
TEST(SelectionDifferentialTest, CanonicalDecompositionAgreesWithDecomposingTheWholeText) {
  const std::vector<std::string> pieces = {
      "a", "/", "e", "\xCC\x81", "\xCC\xA3", "\xCD\x85", "\xC3\xA9", "\xE1\xB8\x8D", "\xEA\xB0\x80", "\xE2\x84\xAB",
      std::string(1, '\0'), "\xF0\x9F\x8E\xB5", "\xC3", "\xFF", "\xED\xA0\x80", "\xE5\x86\x99", "\xCE\xAC", "x y", "..",
      "\xE2\x80\x8D"};
  std::mt19937 random(314159u);
  int invalid = 0;
  for (int round = 0; round < 50'000; ++round) {
    // Now and then a text longer than the on-stack buffer of a run.
    std::string text;
    const std::size_t count = random() % ((round % 100 == 0 ? 200 : 12) + 1);
    for (std::size_t i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    const std::optional<std::string> expected = nfdReference(text);
    bool valid = !expected;
    ASSERT_EQ(canonicalDecomposition(text, &valid), expected.value_or(text)) << "round " << round;
    ASSERT_EQ(valid, expected.has_value()) << "round " << round;
    invalid += !valid;
  }
  EXPECT_GT(invalid, 5'000);
  EXPECT_LT(invalid, 45'000);
}

// WatchedRootSet finds roots through a hash table probed at each "/" of the
// path; the reference tries every root from scratch. Over the small alphabet
// of pieces many roots share prefixes, many paths lie under several roots,
// and canonically equivalent spellings meet.
TEST(SelectionDifferentialTest, WatchedRootSetAgreesWithTryingEveryRootOnLargeSets) {
  std::mt19937 random(271828u);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> roots;
    for (std::size_t i = 1 + random() % 2000; i > 0; --i) roots.push_back(randomPath(random, true));
    if (random() % 3 == 0) roots.push_back(roots.front());  // a duplicate
    const WatchedRootSet set(roots);
    for (int query = 0; query < 300; ++query) {
      const std::string path = randomPath(random, true, 6);
      const bool expected =
          std::any_of(roots.begin(), roots.end(), [&](const auto& r) { return pathUnderRootReference(path, r); });
      ASSERT_EQ(set.containsPath(path), expected) << "round " << round << " path \"" << path << "\"";
    }
  }
}

// A root is hashed once, as a whole key, and a path prefix by prefix while
// the path is walked; the last 1-7 bytes of a "/"-ended segment are read in
// one load that reaches back into the segments before it, or forward into
// what follows the segment, or byte by byte when the key has neither. A root
// and a path that begins with it reach the same bytes through different
// loads, so every segment length at every place in a short key is tried.
TEST(SelectionDifferentialTest, WatchedRootSetFindsEveryPrefixEndingAtASlashAndNoOther) {
  const std::vector<std::vector<std::size_t>> shapes = {  // bytes before each "/"
      {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17},
      {17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, {0, 0, 3, 0, 7, 0, 8, 0}, {7, 7, 15, 7, 23}, {2}};
  for (const std::vector<std::size_t>& shape : shapes) {
    std::string path = "/";
    int letter = 0;
    for (const std::size_t length : shape) {
      for (std::size_t i = 0; i < length; ++i) path.push_back(static_cast<char>('a' + letter++ % 26));
      path.push_back('/');
    }
    path += "tail.txt";
    for (std::size_t end = 1; end <= path.size(); ++end) {
      if (path[end - 1] != '/') continue;
      // The root alone in the set, written without its final "/" and with it.
      for (const std::string& root : {path.substr(0, end - 1), path.substr(0, end)})
        EXPECT_TRUE(WatchedRootSet({root}).containsPath(path)) << "root \"" << root << "\" path \"" << path << "\"";
      // The same lengths with other bytes: one letter changed in the root's
      // last segment, or one segment too many.
      if (end >= 2 && path[end - 2] != '/') {
        std::string other = path.substr(0, end);
        other[end - 2] = other[end - 2] == 'z' ? 'y' : 'z';
        EXPECT_FALSE(WatchedRootSet({other}).containsPath(path)) << "root \"" << other << "\"";
      }
      EXPECT_FALSE(WatchedRootSet({path.substr(0, end - 1) + "q/"}).containsPath(path));
    }
  }
}

}  // namespace
}  // namespace ferlo
