#include "platform/file_url.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ferlo {
namespace {

// ---- fromString ----

struct ParseCase {
  const char* name;
  std::string_view text;
  std::optional<std::string> path;  // none: refused
  bool directory = false;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

const ParseCase kParseCases[] = {
    {"Root", "file:///", "/", true},
    {"EscapedSpace", "file:///a%20b/", "/a b", true},
    {"EscapedUtf8", "file:///Caf%C3%A9/menu.png", "/Café/menu.png", false},
    {"EscapedPercentStaysLiteral", "file:///100%2541", "/100%41", false},
    {"EscapedQuestionMarkIsPath", "file:///a%3Fb", "/a?b", false},
    {"Localhost", "file://localhost/etc/hosts", "/etc/hosts", false},
    {"SchemeAndLocalhostInAnyCase", "FILE://LocalHost/x/", "/x", true},
    {"QueryDropped", "file:///a/b?x=1", "/a/b", false},
    {"FragmentDropped", "file:///a/#top", "/a", true},
    {"AllFinalSlashesGoFromPath", "file:///a//", "/a", true},
    {"OtherHost", "file://example.com/x", std::nullopt},
    {"LocalhostWithPort", "file://localhost:80/x", std::nullopt},
    {"OtherScheme", "http:///x", std::nullopt},
    {"SingleSlash", "file:/x", std::nullopt},
    {"PathOnlyInQuery", "file://?/x", std::nullopt},
    {"Empty", "", std::nullopt},
    {"EscapedNul", "file:///a%00b", std::nullopt},
};

class FromStringTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FromStringTest, ParsesOrRefuses) {
  const ParseCase& c = GetParam();
  auto url = FileURL::fromString(c.text);
  ASSERT_EQ(url.has_value(), c.path.has_value()) << c.text;
  if (!url) return;
  EXPECT_EQ(url->path(), *c.path) << c.text;
  EXPECT_EQ(url->hasDirectoryPath(), c.directory) << c.text;
  EXPECT_EQ(url->absoluteString(), c.text) << "the text is kept as given";
}

INSTANTIATE_TEST_SUITE_P(Table, FromStringTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- fileURLWithPath ----

struct MakeCase {
  const char* name;
  std::string_view path;
  bool isDirectory;
  std::string_view text;
  std::string_view expectedPath;
  bool directory;
};

void PrintTo(const MakeCase& c, std::ostream* os) { *os << c.name; }

const MakeCase kMakeCases[] = {
    {"DirectoryGetsFolderMark", "/Users/user", true, "file:///Users/user/", "/Users/user", true},
    {"SlashMeansDirectoryAnyway", "/x/", false, "file:///x/", "/x", true},
    {"Root", "/", false, "file:///", "/", true},
    {"EmptyIsRoot", "", false, "file:///", "/", true},
    {"RelativeTakenFromRoot", "rel/x", false, "file:///rel/x", "/rel/x", false},
    {"SpacesAndNonAscii", "/Users/user/Café menu.png", false, "file:///Users/user/Caf%C3%A9%20menu.png",
     "/Users/user/Café menu.png", false},
    {"DelimitersEscaped", "/a?b#c%d", false, "file:///a%3Fb%23c%25d", "/a?b#c%d", false},
    {"SubDelimitersKept", "/a!$&'()*+,=:@~_-.b", false, "file:///a!$&'()*+,=:@~_-.b", "/a!$&'()*+,=:@~_-.b", false},
    {"ControlAndQuote", "/t\tq\"", false, "file:///t%09q%22", "/t\tq\"", false},
};

class FileURLWithPathTest : public ::testing::TestWithParam<MakeCase> {};

TEST_P(FileURLWithPathTest, MakesTextAndPath) {
  const MakeCase& c = GetParam();
  auto url = FileURL::fileURLWithPath(c.path, c.isDirectory);
  EXPECT_EQ(url.absoluteString(), c.text);
  EXPECT_EQ(url.path(), c.expectedPath);
  EXPECT_EQ(url.hasDirectoryPath(), c.directory);
}

INSTANTIATE_TEST_SUITE_P(Table, FileURLWithPathTest, ::testing::ValuesIn(kMakeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every path survives text and back: the encoder must escape whatever the
// parser would read as a delimiter or an escape.
TEST(FileURLRoundTrip, PathToTextToPath) {
  const std::string paths[] = {"/a b",     "/Café/ü",  "/100%",        "/100%25", "/a?b",
                               "/a#b",     "/t\tab",   "/semi;colon",  "/[x]{y}", "/\x7f\x01",
                               "/a\\b",    "/\"q\"",   "/emoji \xF0\x9F\x93\x81"};
  for (const auto& path : paths) {
    auto made = FileURL::fileURLWithPath(path, false);
    auto parsed = FileURL::fromString(made.absoluteString());
    ASSERT_TRUE(parsed.has_value()) << made.absoluteString();
    EXPECT_EQ(parsed->path(), path) << made.absoluteString();
    EXPECT_EQ(*parsed, made);
  }
}

// ---- standardizedFileURL ----

struct StandardCase {
  const char* name;
  std::string_view path;
  std::string_view text;
};

void PrintTo(const StandardCase& c, std::ostream* os) { *os << c.name; }

const StandardCase kStandardCases[] = {
    {"ParentResolved", "/r/x/../in/c.txt", "file:///r/in/c.txt"},
    {"EmptyAndDotDropped", "//a/./b", "file:///a/b"},
    {"ParentOfRootIsRoot", "/..", "file:///"},
    {"FinalDotMakesDirectory", "/a/b/.", "file:///a/b/"},
    {"FinalParentMakesDirectory", "/a/b/..", "file:///a/"},
};

class StandardizedTest : public ::testing::TestWithParam<StandardCase> {};

TEST_P(StandardizedTest, Resolves) {
  const StandardCase& c = GetParam();
  EXPECT_EQ(FileURL::fileURLWithPath(c.path, false).standardizedFileURL().absoluteString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, StandardizedTest, ::testing::ValuesIn(kStandardCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Standardized, WorksOnDecodedPath) {
  // "%2E%2E" is "..", once decoded; the result is re-encoded from the path.
  auto url = FileURL::fromString("file://localhost/a/b/%2E%2E/c%20d");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->standardizedFileURL().absoluteString(), "file:///a/c%20d");
}

// ---- appendingPathComponent / deletingLastPathComponent ----

TEST(AppendingPathComponent, AddsOneNonDirectoryComponent) {
  struct Case {
    FileURL base;
    std::string_view component;
    std::string_view text;
  } cases[] = {
      {FileURL::fileURLWithPath("/c", true), "rules.json", "file:///c/rules.json"},
      {FileURL::fileURLWithPath("/c", true), "a b#.json", "file:///c/a%20b%23.json"},
      {*FileURL::fromString("file://localhost/c/?q"), "r", "file:///c/r"},
  };
  for (const auto& c : cases) {
    auto url = c.base.appendingPathComponent(c.component);
    EXPECT_EQ(url.absoluteString(), c.text) << c.base.absoluteString() << " + " << c.component;
    EXPECT_FALSE(url.hasDirectoryPath()) << c.text;
  }
}

TEST(DeletingLastPathComponent, GivesParentDirectory) {
  struct Case {
    std::string_view path;
    std::string_view text;
  } cases[] = {
      {"/a/b/c", "file:///a/b/"}, {"/", "file:///"}, {"/a/b//", "file:///a/"}, {"/a b/c", "file:///a%20b/"},
  };
  for (const auto& c : cases) {
    auto url = FileURL::fileURLWithPath(c.path, false).deletingLastPathComponent();
    EXPECT_EQ(url.absoluteString(), c.text) << c.path;
    EXPECT_TRUE(url.hasDirectoryPath()) << c.path;
  }
}

}  // namespace
}  // namespace ferlo
