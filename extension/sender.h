// Sender: what a command reads of the chosen menu item. Its represented
// object is a string, some other object, or none; its tag is a signed integer;
// its title is the item's plain title, none when the sender is no menu item.
// The Finder sends a copy of the chosen item that keeps its title and tag but
// not its represented object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ferlo {

struct Sender {
  enum class ObjectKind { none, string, other };

  ObjectKind objectKind = ObjectKind::none;
  std::string objectString;  // when objectKind is string
  std::int64_t tag = 0;
  std::optional<std::string> title;

  [[nodiscard]] static Sender withString(std::string value, std::int64_t tag = 0) {
    return Sender{ObjectKind::string, std::move(value), tag, std::nullopt};
  }
  [[nodiscard]] static Sender withTag(std::int64_t tag) { return Sender{ObjectKind::none, {}, tag, std::nullopt}; }
};

}  // namespace ferlo
