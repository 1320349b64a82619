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
  FERLO_FUZZ_CHECK(path.starts_with('/') && (path == "/" || path.back() != '/'),
                   "path() is not absolute, or ends in \"/\" and is not the root");
}

// For an absolute path: a component "", "." or ".." is a "//", "/./" or
// "/../" once the path ends in "/".
bool hasDotOrEmptyComponent(const std::string& path) {
  const std::string marked = path + "/";
  return path != "/" && (marked.find("//") + 1 || marked.find("/./") + 1 || marked.find("/../") + 1);
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
  FERLO_FUZZ_CHECK(reparsed && reparsed->path() == standard.path() &&
                       reparsed->hasDirectoryPath() == standard.hasDirectoryPath(),
                   "a URL made by standardizedFileURL does not parse back to itself");

  const FileURL child = standard.appendingPathComponent("x");
  FERLO_FUZZ_CHECK(child.path() == (standard.path() == "/" ? std::string("/x") : standard.path() + "/x"),
                   "appendingPathComponent");
  FERLO_FUZZ_CHECK(!child.hasDirectoryPath() && child.deletingLastPathComponent().path() == standard.path(),
                   "appendingPathComponent is no file, or deletingLastPathComponent does not undo it");
  const FileURL parent = standard.deletingLastPathComponent();
  FERLO_FUZZ_CHECK(parent.hasDirectoryPath() && standard.path().starts_with(parent.path()),
                   "a parent is not a directory URL that is a prefix");
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
      FERLO_FUZZ_CHECK(reparsed && reparsed->path() == url.path(), "path -> URL text -> path changed the path");
      checkUrl(url);
    }
  }
}
