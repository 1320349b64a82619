// Uuid: a 128-bit identifier and its text form: 36 characters, groups of 8,
// 4, 4, 4 and 12 hexadecimal digits joined by "-". Read in either case,
// written in upper case; braces, prefixes, white space and any other length
// are refused. Version and variant bits are not examined.
//
//   parseUuid("0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30")->uuidString()
//       == "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferlo {

struct Uuid {
  std::array<std::uint8_t, 16> bytes{};

  // The upper-case text form.
  [[nodiscard]] std::string uuidString() const;

  friend bool operator==(const Uuid&, const Uuid&) = default;
};

// The UUID for its text form, or none when `text` is not in that form.
[[nodiscard]] std::optional<Uuid> parseUuid(std::string_view text);

}  // namespace ferlo
