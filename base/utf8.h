// UTF-8 in one place: what is well-formed, the one rule that repairs text
// that is not, and the writing of a code point.
//
// Well-formed is the Unicode standard's table of well-formed byte sequences:
// no overlong forms, no surrogates (U+D800..U+DFFF), nothing above U+10FFFF.
//
// The replacement rule, wherever ill-formed text is made well-formed: one
// U+FFFD for each maximal subpart, the Unicode standard's recommended
// practice (ICU's too). A maximal subpart is the longest start of a
// well-formed sequence that the text breaks off, or else a single byte:
//   "a\xE2\x82z"     -> "a" U+FFFD "z"      (a three-byte sequence cut short)
//   "\xC0\xAF"       -> U+FFFD U+FFFD       (an overlong form starts nothing)
//   "\xED\xA0\x80"   -> U+FFFD U+FFFD U+FFFD (an encoded surrogate)
//   "\xF4\x90\x80\x80" -> four U+FFFD        (above U+10FFFF)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ferlo {

// True when `text` is well-formed UTF-8 (simdjson's validator: the fast path).
[[nodiscard]] bool isValidUtf8(std::string_view text);

// The sequence that `text` (not empty) starts with: a well-formed one and its
// code point, or one maximal ill-formed subpart.
struct Utf8Sequence {
  std::size_t size;         // 1 to 4 bytes
  bool valid;
  char32_t codePoint;       // when valid
};
[[nodiscard]] Utf8Sequence firstUtf8Sequence(std::string_view text);

// How many bytes at the start of `text` are well-formed: all of them, or up
// to the first ill-formed sequence.
[[nodiscard]] std::size_t validUtf8Prefix(std::string_view text);

// `text` with each maximal ill-formed subpart replaced by U+FFFD; well-formed
// text comes back unchanged.
[[nodiscard]] std::string repairUtf8(std::string_view text);

// Appends one Unicode scalar value, which the caller has checked (no
// surrogate, at most U+10FFFF).
inline void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace ferlo
