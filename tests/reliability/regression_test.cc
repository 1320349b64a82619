// Faults found by fuzzing and by the reliability work, each pinned down here
// so that it cannot come back.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/file_url.h"

namespace ferlo {
namespace {

// Found by the FileURL fuzz target: a raw NUL in the URL text was taken into
// the path, where the first system call would have cut the path short at it
// ("/safe\0/../x" opens "/safe"), and standardizedFileURL then produced URL
// text that no longer parsed. A NUL is refused whether escaped or not.
TEST(FileUrlRegression, NulAndBrokenEscapesAreRefused) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {std::string("file:///a\0b", 11), std::nullopt},
      {std::string("file:///safe\0/../x", 18), std::nullopt},
      {"file:///a%00b", std::nullopt},
      {"file:///a%", std::nullopt},
      {"file:///a%4", std::nullopt},
      {"file:///a%zz", std::nullopt},
      {"file:///a%4g/b", std::nullopt},
      {std::string("file:///a?\0", 11), "/a"},  // a NUL in the query is not in the path
      {"file:///a%41%2f", "/aA"},
  };
  for (const auto& [text, path] : cases) {
    const std::optional<FileURL> url = FileURL::fromString(text);
    ASSERT_EQ(url.has_value(), path.has_value()) << text;
    if (!url) continue;
    EXPECT_EQ(url->path(), *path);
    // What standardizing makes must parse again.
    EXPECT_TRUE(FileURL::fromString(url->standardizedFileURL().absoluteString()).has_value()) << text;
  }
}

}  // namespace
}  // namespace ferlo
