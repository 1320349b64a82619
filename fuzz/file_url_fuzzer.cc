// FileURL from text, and the path operations the selection relies on:
// whatever the text, no crash; path() is absolute and ends in "/" only for
// the root; standardizedFileURL is idempotent, keeps the folder mark and
// leaves no ".", ".." or empty component; URL text made from a path parses
// back to that path.
#include "fuzz/fuzz_support.h"
#include "platform/file_url.h"

namespace {

using ferlo::FileURL;

void checkPath(const std::string& path) {
  FERLO_FUZZ_CHECK(!path.empty() && path.front() == '/', "path() is not absolute");
  FERLO_FUZZ_CHECK(path == "/" || path.back() != '/', "path() ends in \"/\"");
}

// For an absolute path: a component "", "." or ".." is a "//", "/./" or
// "/../" once the path ends in "/".
bool hasDotOrEmptyComponent(const std::string& path) {
  const std::string marked = path + "/";
  return path != "/" && (marked.find("//") != std::string::npos || marked.find("/./") != std::string::npos ||
                         marked.find("/../") != std::string::npos);
}

void checkUrl(const FileURL& url) {
  checkPath(url.path());
  const FileURL standard = url.standardizedFileURL();
  checkPath(standard.path());
  FERLO_FUZZ_CHECK(standard.standardizedFileURL() == standard, "standardizedFileURL is not idempotent");
  FERLO_FUZZ_CHECK(!url.hasDirectoryPath() || standard.hasDirectoryPath(), "standardizing lost the folder mark");
  FERLO_FUZZ_CHECK(!hasDotOrEmptyComponent(standard.path()), "a standardized path keeps . .. or //");

  // The text a standardized URL carries parses back to the same URL.
  const std::optional<FileURL> reparsed = FileURL::fromString(standard.absoluteString());
  FERLO_FUZZ_CHECK(reparsed.has_value(), "a URL made by standardizedFileURL does not parse");
  FERLO_FUZZ_CHECK(reparsed->path() == standard.path(), "reparsing changed the path");
  FERLO_FUZZ_CHECK(reparsed->hasDirectoryPath() == standard.hasDirectoryPath(), "reparsing changed the mark");

  const FileURL child = standard.appendingPathComponent("x");
  FERLO_FUZZ_CHECK(child.path() == (standard.path() == "/" ? std::string("/x") : standard.path() + "/x"),
                   "appendingPathComponent");
  FERLO_FUZZ_CHECK(!child.hasDirectoryPath(), "an appended component is a folder");
  FERLO_FUZZ_CHECK(child.deletingLastPathComponent().path() == standard.path(), "deletingLastPathComponent");
  const FileURL parent = standard.deletingLastPathComponent();
  FERLO_FUZZ_CHECK(parent.hasDirectoryPath(), "a parent is not a directory URL");
  FERLO_FUZZ_CHECK(standard.path().starts_with(parent.path()), "a parent is not a prefix");
}

}  // namespace

FERLO_FUZZ_TARGET(text) {
  if (const std::optional<FileURL> url = FileURL::fromString(text)) {
    FERLO_FUZZ_CHECK(url->absoluteString() == text, "the URL text was changed");
    checkUrl(*url);
  }
  // The same bytes taken as a path.
  for (const bool isDirectory : {false, true}) {
    const FileURL url = FileURL::fileURLWithPath(text, isDirectory);
    checkPath(url.path());
    FERLO_FUZZ_CHECK(!isDirectory || url.hasDirectoryPath(), "isDirectory gave no folder mark");
    if (text.find('\0') == std::string_view::npos) {
      const std::optional<FileURL> reparsed = FileURL::fromString(url.absoluteString());
      FERLO_FUZZ_CHECK(reparsed.has_value(), "a URL made from a path does not parse");
      FERLO_FUZZ_CHECK(reparsed->path() == url.path(), "path -> URL text -> path changed the path");
      checkUrl(url);
    }
  }
}
