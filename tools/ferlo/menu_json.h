// The menu as one JSON document:
//
//   MENU = {"title": S, "items": [ITEM, …]}
//   ITEM = {"title": S, "enabled": B, "separator": B, "tag": INT, "keyEquivalent": S,
//           "action": S, "target": "principal", "representedObject": S,
//           "attributedTitle": {"string": S, "font": "systemFont:smallSystemFontSize:semibold",
//                               "foregroundColor": "secondaryLabelColor"},
//           "image": {"name": S, "width": N, "height": N, "template": B},
//           "submenu": MENU}
//
// in exactly this member order. "action", "target", "representedObject",
// "attributedTitle", "image" and "submenu" are left out when the item has
// none; the others are always there. Width and height are integers when
// whole.
#pragma once

#include <string>

#include "extension/menu.h"

namespace ferlo::cli {

[[nodiscard]] std::string menuJson(const Menu& menu, bool pretty);

}  // namespace ferlo::cli
