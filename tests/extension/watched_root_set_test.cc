// WatchedRootSet hashes a root once, as a whole key, and a path prefix by
// prefix while walking the path; the last 1-7 bytes of a "/"-ended segment
// are read in one load that reaches back into the segments before it, or
// forward into what follows the segment, or byte by byte when the key has
// neither. A root and a path that begins with it reach the same bytes
// through different loads, so every segment length at every place in a
// short key is tried here.
#include "extension/watched_root_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace ferlo {
namespace {

struct Shape {
  const char* name;
  std::vector<std::size_t> segments;  // bytes before each "/"
};

void PrintTo(const Shape& shape, std::ostream* os) { *os << shape.name; }

class WatchedRootSetSegmentTest : public testing::TestWithParam<Shape> {};

// Segments of letters, each followed by "/": "/" then "ab/", "cdefghij/"...
std::string keyOf(const std::vector<std::size_t>& segments, char& next) {
  std::string key = "/";
  for (const std::size_t length : segments) {
    for (std::size_t i = 0; i < length; ++i) {
      key.push_back(next);
      next = next == 'z' ? 'a' : static_cast<char>(next + 1);
    }
    key.push_back('/');
  }
  return key;
}

TEST_P(WatchedRootSetSegmentTest, EveryPrefixEndingAtASlashIsFoundAndNoOtherIs) {
  char letter = 'a';
  const std::string path = keyOf(GetParam().segments, letter) + "tail.txt";
  for (std::size_t end = 1; end <= path.size(); ++end) {
    if (path[end - 1] != '/') continue;
    // The root alone in the set, written without its final "/" and with it.
    for (const std::string& root : {path.substr(0, end - 1), path.substr(0, end)}) {
      const WatchedRootSet set({root});
      EXPECT_TRUE(set.containsPath(path)) << "root \"" << root << "\" path \"" << path << "\"";
      // One letter changed in the root's last segment, or one too many:
      // the same lengths, other bytes.
      if (end >= 2 && path[end - 2] != '/') {
        std::string other = path.substr(0, end);
        other[end - 2] = other[end - 2] == 'z' ? 'y' : 'z';
        EXPECT_FALSE(WatchedRootSet({other}).containsPath(path)) << "root \"" << other << "\"";
      }
      EXPECT_FALSE(WatchedRootSet({path.substr(0, end - 1) + "q/"}).containsPath(path));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WatchedRootSetSegmentTest,
    testing::Values(Shape{"OneLetterSegments", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
                    Shape{"EverySegmentLengthUpToSeventeen", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}},
                    Shape{"DownFromSeventeen", {17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
                    Shape{"EmptySegments", {0, 0, 3, 0, 7, 0, 8, 0}},
                    Shape{"WordAligned", {7, 7, 15, 7, 23}},
                    Shape{"ShortKeys", {2}}),
    [](const testing::TestParamInfo<Shape>& info) { return info.param.name; });

}  // namespace
}  // namespace ferlo
