// Decoded<T>: the result of a strict decoder or reader. Either a value, or
// the first breach found: where in the document (a path such as
// "rules[2].id" or a line such as "line 3", empty for the document as a
// whole) and why, in words a host developer can act on.
//
//   auto result = decodeRuleManifest(bytes);
//   if (!result) std::cerr << result.error.where << ": " << result.error.why;
//
// A function that gives one returns its value or a DecodeError:
//   if (bad) return DecodeError{"line 3", "missing ';' after the value"};
//   return table;
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace ferlo {

struct DecodeError {
  std::string where;
  std::string why;
};

template <class T>
struct Decoded {
  std::optional<T> value;
  DecodeError error;  // meaningful only without a value

  Decoded() = default;
  Decoded(T decoded) : value(std::move(decoded)) {}          // NOLINT: a value is a success
  Decoded(DecodeError failure) : error(std::move(failure)) {}  // NOLINT: an error is a failure

  explicit operator bool() const { return value.has_value(); }
  // The value, as std::optional gives it: only with one.
  T& operator*() & { return *value; }
  const T& operator*() const& { return *value; }
  T&& operator*() && { return *std::move(value); }
  T* operator->() { return &*value; }
  const T* operator->() const { return &*value; }
};

}  // namespace ferlo
