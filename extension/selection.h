// Selection resolution: what the menu and the commands act on, from the
// Finder's selection and targeted folder. A Selection is one reading of the
// platform; everything else here is computed from such a reading and asks
// the platform nothing. An item counts as a folder when its URL has a
// directory path (the folder mark); the file system is never consulted.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/rule_manifest.h"
#include "platform/file_url.h"
#include "platform/platform.h"

namespace ferlo {

// The Finder's selection at one moment: the selected items (none when the
// platform gives no list) and the targeted URL.
struct Selection {
  std::optional<std::vector<FileURL>> items;
  std::optional<FileURL> targeted;
};

// Asks the platform once for each: selectedItemURLs, then targetedURL.
[[nodiscard]] Selection readSelection(Platform& platform);

// The first selected item with the folder mark; else the targeted URL as it
// is (folder mark or not); else none.
//   selection [a, B/, C/] -> B/;   selection [a], target T -> T
[[nodiscard]] std::optional<FileURL> targetFolderURL(const Selection& selection);

// Every selected item with the folder mark, in selection order; empty when
// nothing is selected (the targeted folder is not consulted).
[[nodiscard]] std::vector<FileURL> selectedFolderURLs(const Selection& selection);

// The selected items without the folder mark whose standardised path lies
// under one of `roots` (see WatchedRootSet), in selection order, each once
// and as the Finder gave it; empty with no roots.
//   roots {"/r/in"}: /r/in/a.txt and /r/x/../in/c.txt are kept, /r/inbox/b.txt is not
[[nodiscard]] std::vector<FileURL> selectedFileURLs(const Selection& selection, const std::vector<std::string>& roots);

// The manifest's watched roots; empty when there is no manifest or the
// member is absent.
[[nodiscard]] const std::vector<std::string>& watchedRootsOf(const std::optional<RuleManifest>& manifest);

// What one reading of the selection gives the four commands to act on. Each
// command's guard (see commands.h) says whether it is offered: the menu
// shows an item only when it is, each command goes on only when it is at the
// time of the click (the menu's earlier view counts for nothing), and
// `ferlo doctor` reports it.
struct SelectionOffer {
  std::optional<FileURL> targetFolder;  // targetFolderURL: what runRule: and runFlatten: act on
  std::vector<FileURL> folders;         // selectedFolderURLs: what runMergeSelected: merges
  std::vector<FileURL> files;           // selectedFileURLs under the watched roots: what setExpiry: marks
};

// The offer of `selection` with `roots` as the watched roots (none: no file
// is offered).
[[nodiscard]] SelectionOffer offerOf(const Selection& selection, const std::vector<std::string>& roots);

}  // namespace ferlo
