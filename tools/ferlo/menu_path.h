// Item paths: zero-based indices joined by "/" that lead through the menu,
// first into the top-level items, then into each item's submenu. "0/6/4" is
// item 4 of the submenu of item 6 of the submenu of top-level item 0.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"
#include "extension/menu.h"

namespace ferlo::cli {

// The indices of `text`, or none unless it is one or more decimal numbers
// joined by single "/".
[[nodiscard]] std::optional<std::vector<std::size_t>> parseMenuPath(std::string_view text);

[[nodiscard]] std::string formatMenuPath(const std::vector<std::size_t>& path);

// The item at `path` when it can be chosen: it exists, is not a separator
// and has an action (valid while the menu lives). Otherwise the reason (the
// why), naming the path.
[[nodiscard]] Decoded<const MenuItem*> findActionItem(const Menu& menu, const std::vector<std::size_t>& path);

// The path of the first item, depth first in menu order, for which `match`
// holds; none when no item does.
[[nodiscard]] std::optional<std::vector<std::size_t>> findItemPath(
    const Menu& menu, const std::function<bool(const MenuItem&)>& match);

}  // namespace ferlo::cli
