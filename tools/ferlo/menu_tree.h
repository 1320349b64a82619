// The menu as an indented tree for people. Each line starts with the item's
// path (the indices `ferlo click` takes), then the title as the Finder shows
// it (the styled title when there is one), then what else the item carries:
//
//   0      Ferlo  [image BrandGlyph 16x16]
//   0/0    ├─ RULES  [styled, title "Rules", disabled]
//   0/1    ├─ Tidy downloads  [runRule: → principal, object "0F8E2C4A-…"]
//   0/5    └─ Expire 2 files
//   0/5/3     ├─ ──────────
//   0/5/4     └─ Keep  [setExpiry: → principal, tag 0]
//
// A title that is empty, has surrounding blanks, or holds anything lineSafe
// escapes (controls, separators, bidirectional controls, bytes that are not
// UTF-8) is shown as lineQuoted gives it, as doctor shows values; so are the
// texts in the brackets. An empty menu is the single line "(empty menu)".
#pragma once

#include <string>

#include "extension/menu.h"

namespace ferlo::cli {

// The tree, one line per item, each ending in "\n".
[[nodiscard]] std::string menuTree(const Menu& menu);

// `text` as it is when it reads unambiguously on a terminal, else
// lineQuoted.
[[nodiscard]] std::string displayText(const std::string& text);

}  // namespace ferlo::cli
