// Selection resolution: what the menu and the commands act on, from the
// Finder's selection and targeted folder. Every call asks the platform
// afresh; nothing is kept. An item counts as a folder when its URL has a
// directory path (the folder mark); the file system is never consulted.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_url.h"
#include "platform/platform.h"

namespace ferlo {

// The first selected item with the folder mark; else the targeted URL as it
// is (folder mark or not); else none.
//   selection [a, B/, C/] -> B/;   selection [a], target T -> T
[[nodiscard]] std::optional<FileURL> targetFolderURL(Platform& platform);

// Every selected item with the folder mark, in selection order; empty when
// nothing is selected (the targeted folder is not consulted).
[[nodiscard]] std::vector<FileURL> selectedFolderURLs(Platform& platform);

// The selected items without the folder mark whose standardised path lies
// under one of `roots` (see WatchedRootSet), in selection order, each once
// and as the Finder gave it. With no roots the platform is not asked at all.
//   roots {"/r/in"}: /r/in/a.txt and /r/x/../in/c.txt are kept, /r/inbox/b.txt is not
[[nodiscard]] std::vector<FileURL> selectedFileURLs(Platform& platform, const std::vector<std::string>& roots);

}  // namespace ferlo
