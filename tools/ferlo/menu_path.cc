#include "tools/ferlo/menu_path.h"

#include <charconv>

#include "tools/ferlo/menu_tree.h"

namespace ferlo::cli {

std::optional<std::vector<std::size_t>> parseMenuPath(std::string_view text) {
  std::vector<std::size_t> path;
  for (;;) {
    const auto slash = text.find('/');
    const std::string_view part = text.substr(0, slash);
    if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    std::size_t index = 0;
    auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), index);
    if (ec != std::errc() || ptr != part.data() + part.size()) return std::nullopt;
    path.push_back(index);
    if (slash == std::string_view::npos) return path;
    text.remove_prefix(slash + 1);
  }
}

std::string formatMenuPath(const std::vector<std::size_t>& path) {
  std::string text;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) text += '/';
    text += std::to_string(path[i]);
  }
  return text;
}

Decoded<const MenuItem*> findActionItem(const Menu& menu, const std::vector<std::size_t>& path) {
  const Menu* current = &menu;
  const MenuItem* item = nullptr;
  std::vector<std::size_t> walked;
  for (const std::size_t index : path) {
    if (current == nullptr) {
      return DecodeError{"", "no item at " + formatMenuPath(path) + ": item " + formatMenuPath(walked) +
                                 " has no submenu"};
    }
    if (index >= current->items.size()) {
      std::string where = walked.empty() ? "the menu" : "the submenu of " + formatMenuPath(walked);
      std::string count = current->items.empty() ? "no items" : current->items.size() == 1
                                                                     ? "1 item"
                                                                     : std::to_string(current->items.size()) + " items";
      return DecodeError{"", "no item at " + formatMenuPath(path) + ": " + where + " has " + count};
    }
    item = &current->items[index];
    walked.push_back(index);
    current = item->submenu.get();
  }
  if (item->isSeparator) return DecodeError{"", "item " + formatMenuPath(path) + " is a separator"};
  if (item->action == Selector::none) {
    const std::string& shown = item->attributedTitle ? item->attributedTitle->string : item->title;
    return DecodeError{"", "item " + formatMenuPath(path) + " (" + displayText(shown) + ") has no action"};
  }
  return item;
}

namespace {

bool search(const Menu& menu, const std::function<bool(const MenuItem&)>& match, std::vector<std::size_t>& path) {
  for (std::size_t i = 0; i < menu.items.size(); ++i) {
    path.push_back(i);
    if (match(menu.items[i])) return true;
    if (menu.items[i].submenu && search(*menu.items[i].submenu, match, path)) return true;
    path.pop_back();
  }
  return false;
}

}  // namespace

std::optional<std::vector<std::size_t>> findItemPath(const Menu& menu,
                                                     const std::function<bool(const MenuItem&)>& match) {
  std::vector<std::size_t> path;
  if (search(menu, match, path)) return path;
  return std::nullopt;
}

}  // namespace ferlo::cli
