// Sender: what a command reads of the chosen menu item. Its represented
// object is a string, some other object, or none; its tag is a signed integer.
#pragma once

#include <cstdint>
#include <string>

namespace ferlo {

struct Sender {
  enum class ObjectKind { none, string, other };

  ObjectKind objectKind = ObjectKind::none;
  std::string objectString;  // when objectKind is string
  std::int64_t tag = 0;

  [[nodiscard]] static Sender withString(std::string value, std::int64_t tag = 0) {
    return Sender{ObjectKind::string, std::move(value), tag};
  }
  [[nodiscard]] static Sender withTag(std::int64_t tag) { return Sender{ObjectKind::none, {}, tag}; }
};

}  // namespace ferlo
