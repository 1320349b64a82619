#include "extension/selection.h"

#include "extension/watched_root_set.h"

namespace ferlo {

std::optional<FileURL> targetFolderURL(Platform& platform) {
  if (std::optional<std::vector<FileURL>> selection = platform.selectedItemURLs()) {
    for (FileURL& url : *selection) {
      if (url.hasDirectoryPath()) return std::move(url);
    }
  }
  return platform.targetedURL();
}

std::vector<FileURL> selectedFolderURLs(Platform& platform) {
  std::vector<FileURL> folders;
  if (std::optional<std::vector<FileURL>> selection = platform.selectedItemURLs()) {
    for (FileURL& url : *selection) {
      if (url.hasDirectoryPath()) folders.push_back(std::move(url));
    }
  }
  return folders;
}

namespace {

// Whether `path` is already in standard form: no empty, "." or ".."
// component (and no final "/", which a file's path never has). Such a
// path is its own standardised path.
bool isStandardPath(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  // One pass, looking at what follows each "/".
  const std::size_t size = path.size();
  for (std::size_t i = 0; i < size; ++i) {
    if (path[i] != '/') continue;
    const char next = i + 1 < size ? path[i + 1] : '/';
    if (next == '/') return false;  // an empty component, or a final "/"
    if (next != '.') continue;
    const char afterDot = i + 2 < size ? path[i + 2] : '/';
    if (afterDot == '/') return false;  // "."
    if (afterDot == '.' && (i + 3 >= size || path[i + 3] == '/')) return false;  // ".."
  }
  return true;
}

// The standardised path of a selected file. Nearly every path the Finder
// gives is already standard, and building the standardised URL (splitting,
// re-joining, percent-encoding) cost more than the whole root test.
std::string standardizedPath(const FileURL& url) {
  std::string path = url.path();
  if (isStandardPath(path)) return path;
  return url.standardizedFileURL().path();
}

}  // namespace

std::vector<FileURL> selectedFileURLs(Platform& platform, const std::vector<std::string>& roots) {
  std::vector<FileURL> files;
  if (roots.empty()) return files;
  std::optional<std::vector<FileURL>> selection = platform.selectedItemURLs();
  if (!selection) return files;
  bool anyCandidate = false;
  for (const FileURL& url : *selection) anyCandidate = anyCandidate || !url.hasDirectoryPath();
  if (!anyCandidate) return files;

  const WatchedRootSet rootSet(roots);
  files.reserve(selection->size());
  for (FileURL& url : *selection) {
    if (url.hasDirectoryPath()) continue;
    if (rootSet.containsPath(standardizedPath(url))) files.push_back(std::move(url));
  }
  return files;
}

}  // namespace ferlo
