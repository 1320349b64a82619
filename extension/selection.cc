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

std::vector<FileURL> selectedFileURLs(Platform& platform, const std::vector<std::string>& roots) {
  std::vector<FileURL> files;
  if (roots.empty()) return files;
  std::optional<std::vector<FileURL>> selection = platform.selectedItemURLs();
  if (!selection) return files;
  bool anyCandidate = false;
  for (const FileURL& url : *selection) anyCandidate = anyCandidate || !url.hasDirectoryPath();
  if (!anyCandidate) return files;

  const WatchedRootSet rootSet(roots);
  for (FileURL& url : *selection) {
    if (url.hasDirectoryPath()) continue;
    if (rootSet.containsPath(url.standardizedFileURL().path())) files.push_back(std::move(url));
  }
  return files;
}

}  // namespace ferlo
