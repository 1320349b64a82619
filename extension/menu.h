// The menu as a plain value tree. buildMenu returns it; the macOS layer
// renders it into NSMenu/NSMenuItem and the `ferlo` program prints it. The
// core never touches a real menu.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferlo {

// The commands a menu item can name, by their platform selectors (their
// names and the rest of each command are in kMenuCommands).
enum class Selector { none, runRule, runFlatten, runMergeSelected, setExpiry };

// A styled title: always the system font at the small system font size with
// semibold weight, in the secondary label colour; only the text varies.
struct AttributedTitle {
  std::string string;
  friend bool operator==(const AttributedTitle&, const AttributedTitle&) = default;
};

// An image resource shown at the given size in points.
struct MenuImage {
  std::string name;
  double width = 0;
  double height = 0;
  bool isTemplate = false;
  friend bool operator==(const MenuImage&, const MenuImage&) = default;
};

struct Menu;

struct MenuItem {
  std::string title;
  std::optional<AttributedTitle> attributedTitle;
  std::optional<MenuImage> image;
  Selector action = Selector::none;
  bool targetsPrincipal = false;  // the target is the principal object
  std::int64_t tag = 0;
  std::optional<std::string> representedObject;
  bool enabled = true;
  bool isSeparator = false;
  std::string keyEquivalent;
  std::shared_ptr<Menu> submenu;

  [[nodiscard]] static MenuItem separatorItem();
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;
};

}  // namespace ferlo
