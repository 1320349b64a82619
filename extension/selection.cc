#include "extension/selection.h"

#include "extension/watched_root_set.h"

namespace ferlo {

Selection readSelection(Platform& platform) {
  Selection selection;
  selection.items = platform.selectedItemURLs();
  selection.targeted = platform.targetedURL();
  return selection;
}

std::optional<FileURL> targetFolderURL(const Selection& selection) {
  if (selection.items) {
    for (const FileURL& url : *selection.items) {
      if (url.hasDirectoryPath()) return url;
    }
  }
  return selection.targeted;
}

std::vector<FileURL> selectedFolderURLs(const Selection& selection) {
  std::vector<FileURL> folders;
  if (selection.items) {
    for (const FileURL& url : *selection.items) {
      if (url.hasDirectoryPath()) folders.push_back(url);
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

std::vector<FileURL> selectedFileURLs(const Selection& selection, const std::vector<std::string>& roots) {
  std::vector<FileURL> files;
  if (roots.empty() || !selection.items) return files;
  const std::vector<FileURL>& items = *selection.items;
  bool anyCandidate = false;
  for (const FileURL& url : items) anyCandidate = anyCandidate || !url.hasDirectoryPath();
  if (!anyCandidate) return files;

  const WatchedRootSet rootSet(roots);
  files.reserve(items.size());
  for (const FileURL& url : items) {
    if (url.hasDirectoryPath()) continue;
    if (rootSet.containsPath(standardizedPath(url))) files.push_back(url);
  }
  return files;
}

const std::vector<std::string>& watchedRootsOf(const std::optional<RuleManifest>& manifest) {
  static const std::vector<std::string> noRoots;
  return manifest && manifest->watchedRoots ? *manifest->watchedRoots : noRoots;
}

SelectionOffer offerOf(const Selection& selection, const std::vector<std::string>& roots) {
  SelectionOffer offer;
  offer.targetFolder = targetFolderURL(selection);
  offer.folders = selectedFolderURLs(selection);
  offer.files = selectedFileURLs(selection, roots);
  return offer;
}

}  // namespace ferlo
