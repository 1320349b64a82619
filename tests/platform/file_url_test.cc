// The URL text forms, byte for byte. What holds for any input (round trips,
// idempotent standardising, parents and children) is the fuzz target's.
#include "platform/file_url.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ferlo {
namespace {

TEST(FileURL, FromStringDecodesOrRefuses) {
  // A path of none: refused.
  const struct { std::string_view text; std::optional<std::string> path = {}; bool directory = false; } cases[] = {
      {"file:///", "/", true}, {"file:///a%20b/", "/a b", true}, {"file:///Caf%C3%A9/menu.png", "/Café/menu.png"},
      {"file:///100%2541", "/100%41"} /* decoded once */, {"file:///a%3Fb", "/a?b"}, {"FILE://LocalHost/x/", "/x", true},
      {"file:///a/b?x=1", "/a/b"}, {"file:///a/#top", "/a", true}, {"file:///a//", "/a", true},
      {"file://example.com/x"}, {"file://localhost:80/x"}, {"http:///x"}, {"file:/x"}, {"file://?/x"}, {""},
      // A NUL, raw or escaped, would cut the path short at the first system
      // call ("/safe\0/../x" opens "/safe"); in the query it is no part of it.
      {"file:///a%00b"}, {std::string_view("file:///a\0b", 11)}, {std::string_view("file:///safe\0/../x", 19)},
      {std::string_view("file:///a?\0", 11), "/a"}, {"file:///a%"}, {"file:///a%4"}, {"file:///a%zz"}, {"file:///a%4g/b"},
  };
  for (const auto& c : cases) {
    const auto url = FileURL::fromString(c.text);
    ASSERT_EQ(url.has_value(), c.path.has_value()) << c.text;
    if (!url) continue;
    // The text is kept as given.
    EXPECT_EQ(std::tuple(url->path(), url->hasDirectoryPath(), url->absoluteString()), std::tuple(*c.path, c.directory, c.text));
  }
}

TEST(FileURL, FromPathEscapesWhatTheParserWouldRead) {
  const struct { std::string_view path; bool isDirectory; std::string_view text; } cases[] = {
      {"/Users/user", true, "file:///Users/user/"}, {"/x/", false, "file:///x/"}, {"/", false, "file:///"},
      {"", false, "file:///"}, {"rel/x", false, "file:///rel/x"},
      {"/Users/user/Café menu.png", false, "file:///Users/user/Caf%C3%A9%20menu.png"},
      {"/a?b#c%d", false, "file:///a%3Fb%23c%25d"},
      {"/a!$&'()*+,=:@~_-.b", false, "file:///a!$&'()*+,=:@~_-.b"},
      {"/t\tq\"", false, "file:///t%09q%22"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileURL::fileURLWithPath(c.path, c.isDirectory).absoluteString(), c.text) << c.path;
}

TEST(FileURL, PathOperationsGiveTheirText) {
  const auto at = [](std::string_view text) { return *FileURL::fromString(text); };
  const auto standard = [&](std::string_view text) { return at(text).standardizedFileURL(); };
  const struct { FileURL url; std::string_view text; } cases[] = {
      {standard("file:///r/x/../in/c.txt"), "file:///r/in/c.txt"}, {standard("file:////a/./b"), "file:///a/b"},
      {standard("file:///.."), "file:///"}, {standard("file:///a/b/."), "file:///a/b/"},
      {standard("file:///a/b/.."), "file:///a/"}, {standard("file://localhost/a/b/%2E%2E/c%20d"), "file:///a/c%20d"},
      {standard("file:///a%41%2f"), "file:///aA/"} /* parses again */,
      {at("file://localhost/c/?q").appendingPathComponent("a b#.json"), "file:///c/a%20b%23.json"},
      {at("file:///a/b//").deletingLastPathComponent(), "file:///a/"},
      {at("file:///").deletingLastPathComponent(), "file:///"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.url.absoluteString(), c.text);
}

}  // namespace
}  // namespace ferlo
