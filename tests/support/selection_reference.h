// A deliberately naive twin of selectedFileURLs, kept as the yardstick that
// the randomized differential test and the benchmarks hold the fast version
// against. It normalises the root and the path anew at every root x path
// comparison, the way the rule reads when taken literally. Not for use in
// the extension itself: its cost is selection x roots x length.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extension/selection.h"
#include "platform/file_url.h"

namespace ferlo {

// The canonical decomposition (NFD) of the whole text through utf8proc's
// ready-made call; none when the text is not valid UTF-8.
[[nodiscard]] std::optional<std::string> nfdReference(std::string_view text);

// Whether the standardised `path` begins with the normalised `root` under
// the same rules as WatchedRootSet::containsPath, computed from scratch.
[[nodiscard]] bool pathUnderRootReference(std::string_view path, std::string_view root);

// selectedFileURLs, computed with pathUnderRootReference for every root.
[[nodiscard]] std::vector<FileURL> selectedFileURLsReference(const Selection& selection,
                                                           const std::vector<std::string>& roots);

}  // namespace ferlo
