#include "tools/ferlo/menu_tree.h"

#include <algorithm>
#include <vector>

#include "extension/command_table.h"
#include "tools/ferlo/json_output.h"

namespace ferlo::cli {
namespace {

struct Line {
  std::string path;
  std::string text;  // connectors and the item
};

std::string annotations(const MenuItem& item) {
  std::vector<std::string> notes;
  if (item.attributedTitle) notes.push_back("styled, title " + lineQuoted(item.title));
  if (item.image) {
    std::string note = "image " + displayText(item.image->name) + " " + jsonNumber(item.image->width) + "x" +
                       jsonNumber(item.image->height);
    if (item.image->isTemplate) note += " template";
    notes.push_back(std::move(note));
  }
  if (item.action != Selector::none) {
    std::string note(selectorName(item.action));
    note += item.targetsPrincipal ? " → principal" : " (no target)";
    notes.push_back(std::move(note));
  } else if (item.targetsPrincipal) {
    notes.push_back("→ principal, no action");
  }
  if (item.representedObject) notes.push_back("object " + lineQuoted(*item.representedObject));
  // A tag means something only to the command that reads it (or when set).
  if (item.action == Selector::setExpiry || item.tag != 0) notes.push_back("tag " + std::to_string(item.tag));
  if (!item.keyEquivalent.empty()) notes.push_back("key " + lineQuoted(item.keyEquivalent));
  // Separators are never enabled; saying so on each would be noise.
  if (!item.enabled && !item.isSeparator) notes.push_back("disabled");
  if (notes.empty()) return {};
  std::string out = "  [";
  for (std::size_t i = 0; i < notes.size(); ++i) {
    if (i > 0) out += ", ";
    out += notes[i];
  }
  out += "]";
  return out;
}

std::string itemText(const MenuItem& item) {
  if (item.isSeparator) return "──────────" + annotations(item);
  const std::string& shown = item.attributedTitle ? item.attributedTitle->string : item.title;
  return displayText(shown) + annotations(item);
}

void collect(const Menu& menu, const std::string& pathPrefix, const std::string& indent, bool topLevel,
             std::vector<Line>& lines) {
  for (std::size_t i = 0; i < menu.items.size(); ++i) {
    const MenuItem& item = menu.items[i];
    const bool last = i + 1 == menu.items.size();
    const std::string path = pathPrefix.empty() ? std::to_string(i) : pathPrefix + "/" + std::to_string(i);
    const std::string connector = topLevel ? "" : (last ? "└─ " : "├─ ");
    lines.push_back(Line{path, indent + connector + itemText(item)});
    if (item.submenu) {
      const std::string childIndent = topLevel ? indent : indent + (last ? "   " : "│  ");
      collect(*item.submenu, path, childIndent, false, lines);
    }
  }
}

}  // namespace

std::string displayText(const std::string& text) {
  const bool plain = !text.empty() && text.front() != ' ' && text.back() != ' ' && lineSafe(text) == text;
  return plain ? text : lineQuoted(text);
}

std::string menuTree(const Menu& menu) {
  if (menu.items.empty()) return "(empty menu)\n";
  std::vector<Line> lines;
  collect(menu, "", "", true, lines);
  std::size_t width = 0;
  for (const Line& line : lines) width = std::max(width, line.path.size());
  std::string out;
  for (const Line& line : lines) {
    out += line.path;
    out.append(width - line.path.size() + 2, ' ');
    out += line.text;
    out += '\n';
  }
  return out;
}

}  // namespace ferlo::cli
