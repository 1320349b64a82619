// Faults found by fuzzing and by the reliability work, each pinned down here
// so that it cannot come back.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/file_url.h"

namespace ferlo {
namespace {

struct UrlCase {
  const char* name;
  std::string text;
  std::optional<std::string> path;  // none: the text is refused
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

// Found by the FileURL fuzz target: a raw NUL in the URL text was taken into
// the path, where the first system call would have cut the path short at it
// ("/safe\0/../x" opens "/safe"), and standardizedFileURL then produced URL
// text that no longer parsed. A NUL is refused whether escaped or not.
const UrlCase kUrls[] = {
    {"RawNul", std::string("file:///a\0b", 11), std::nullopt},
    {"RawNulBeforeDotDot", std::string("file:///safe\0/../x", 18), std::nullopt},
    {"EscapedNul", "file:///a%00b", std::nullopt},
    {"PercentAtEnd", "file:///a%", std::nullopt},
    {"OneDigitAtEnd", "file:///a%4", std::nullopt},
    {"NotHex", "file:///a%zz", std::nullopt},
    {"HalfHex", "file:///a%4g/b", std::nullopt},
    {"NulInQueryIsNotPath", std::string("file:///a?\0", 11), "/a"},
    {"ValidEscape", "file:///a%41%2f", "/aA"},
};

class FileUrlRegressionTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(FileUrlRegressionTest, PathOrRefusal) {
  const std::optional<FileURL> url = FileURL::fromString(GetParam().text);
  ASSERT_EQ(url.has_value(), GetParam().path.has_value());
  if (!url) return;
  EXPECT_EQ(url->path(), *GetParam().path);
  // What standardizing makes must parse again.
  EXPECT_TRUE(FileURL::fromString(url->standardizedFileURL().absoluteString()).has_value());
}

INSTANTIATE_TEST_SUITE_P(Table, FileUrlRegressionTest, ::testing::ValuesIn(kUrls),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo
