// Decoded<T>: the result of a strict decoder. Either a value, or the first
// breach found: where in the document (a path such as "rules[2].id", empty
// for the document as a whole) and why, in words a host developer can act on.
//
//   auto result = decodeRuleManifest(bytes);
//   if (!result) std::cerr << result.error.where << ": " << result.error.why;
#pragma once

#include <optional>
#include <string>

namespace ferlo {

struct DecodeError {
  std::string where;
  std::string why;
};

template <class T>
struct Decoded {
  std::optional<T> value;
  DecodeError error;  // meaningful only without a value

  explicit operator bool() const { return value.has_value(); }
};

}  // namespace ferlo
