// Internal to exchange/ (included only by the decoders' .cc files, which link
// simdjson): parsing one JSON text with simdjson's DOM, and the vocabulary of
// the decoders' diagnostics. Not part of the module's interface.
//
// The DOM parser validates the whole text (structure, UTF-8, strings,
// numbers, depth) before we look at any value, so "any breach fails" holds
// for members we ignore as well. Elements borrow the parser's memory: the
// decoders copy what they keep into their records before returning.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <simdjson.h>

#include "base/decoded.h"
#include "platform/platform.h"

namespace ferlo::json_document {

// readWholeFile's spare capacity is what lets a file's bytes be parsed where
// they lie; it must cover what simdjson reads beyond the end.
static_assert(simdjson::SIMDJSON_PADDING <= kReadPadding,
              "kReadPadding must cover simdjson's read-ahead");

// Arrays and objects may nest this many levels, the top level counting as
// one; a deeper text fails wherever the nesting is.
inline constexpr std::size_t kMaxNestingDepth = simdjson::DEFAULT_MAX_DEPTH;

// A diagnostic for a failed parse, about the document as a whole: simdjson
// does not say where in the text it stopped, so `where` is empty.
[[nodiscard]] inline DecodeError parseError(simdjson::error_code code) {
  const std::string library = simdjson::error_message(code);
  switch (code) {
    case simdjson::EMPTY:
      return {"", "the document is empty or holds only white space"};
    case simdjson::UTF8_ERROR:
      return {"", "invalid UTF-8: the document must be UTF-8 text (" + library + ")"};
    case simdjson::DEPTH_ERROR:
      return {"", "nesting deeper than " + std::to_string(kMaxNestingDepth) +
                      " levels of arrays and objects (" + library + ")"};
    case simdjson::STRING_ERROR:
      return {"", "not valid JSON: " + library +
                      " (an invalid escape, or a \\u escape of a lone UTF-16 surrogate such as \\ud800)"};
    case simdjson::NUMBER_ERROR:
      return {"", "not valid JSON: " + library +
                      " (a malformed number, an integer beyond the 64-bit unsigned range, or a value beyond "
                      "the range of a double)"};
    case simdjson::CAPACITY:
      return {"", "the document is larger than the JSON parser supports, 4 GiB (" + library + ")"};
    case simdjson::MEMALLOC:
      return {"", "out of memory while parsing (" + library + ")"};
    default:
      return {"", "not valid JSON: " + library};
  }
}

// Parses `bytes` with `parser`, which owns everything `root` then refers to.
// `padded` says that at least SIMDJSON_PADDING readable bytes follow the
// text; otherwise the text is copied once into a padded buffer.
[[nodiscard]] inline bool parseDocument(simdjson::dom::parser& parser, std::string_view bytes,
                                        simdjson::dom::element& root, DecodeError& error) {
  if (bytes.empty()) {
    error = parseError(simdjson::EMPTY);
    return false;
  }
  simdjson::padded_string copy(bytes);
  if (copy.data() == nullptr) {
    error = parseError(simdjson::MEMALLOC);
    return false;
  }
  if (const auto code = parser.parse(copy).get(root)) {
    error = parseError(code);
    return false;
  }
  return true;
}

// As above, parsing in place when the string's spare capacity covers the
// read-ahead (as readWholeFile leaves it), and copying once otherwise.
[[nodiscard]] inline bool parseDocument(simdjson::dom::parser& parser, const std::string& bytes,
                                        simdjson::dom::element& root, DecodeError& error) {
  if (bytes.capacity() - bytes.size() < kReadPadding) {
    return parseDocument(parser, std::string_view(bytes), root, error);
  }
  if (const auto code = parser.parse(bytes).get(root)) {
    error = parseError(code);
    return false;
  }
  return true;
}

// "an object", "a string", "null" ...: what a value is, for "got ..." texts.
[[nodiscard]] inline std::string_view describe(simdjson::dom::element value) {
  switch (value.type()) {
    case simdjson::dom::element_type::OBJECT: return "an object";
    case simdjson::dom::element_type::ARRAY: return "an array";
    case simdjson::dom::element_type::STRING: return "a string";
    case simdjson::dom::element_type::INT64:
    case simdjson::dom::element_type::UINT64:
    case simdjson::dom::element_type::DOUBLE: return "a number";
    case simdjson::dom::element_type::BOOL: return "a boolean";
    case simdjson::dom::element_type::NULL_VALUE: return "null";
  }
  return "a value";
}

// `text` in double quotes for a diagnostic: '"', '\' and control characters
// escaped so that the message stays on one line, and cut after `limit` bytes
// (never inside a UTF-8 sequence) with "..." to show the cut.
[[nodiscard]] inline std::string quoted(std::string_view text, std::size_t limit = 48) {
  bool cut = false;
  if (text.size() > limit) {
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text = text.substr(0, end);
    cut = true;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  out += cut ? "...\"" : "\"";
  return out;
}

// "rules[2]": the path of an array element.
[[nodiscard]] inline std::string elementPath(std::string_view array, std::size_t index) {
  std::string path(array);
  path.push_back('[');
  char digits[24];
  path.append(digits, std::to_chars(digits, digits + sizeof digits, index).ptr);
  path.push_back(']');
  return path;
}

// "rules[2].id": the path of an object's member.
[[nodiscard]] inline std::string memberPath(std::string_view object, std::string_view member) {
  if (object.empty()) return std::string(member);
  std::string path(object);
  path.push_back('.');
  path.append(member);
  return path;
}

[[nodiscard]] inline std::string missingMember(std::string_view name) {
  return "missing required member \"" + std::string(name) + "\"";
}

[[nodiscard]] inline std::string expectedGot(std::string_view expected, simdjson::dom::element got) {
  return "expected " + std::string(expected) + ", got " + std::string(describe(got));
}

// Reads an array of strings at `path` into `out` (replacing what it held).
// When `value` is not an array, the diagnostic says "expected <expectation>".
[[nodiscard]] inline bool readStringArray(simdjson::dom::element value, std::string_view path,
                                          std::string_view expectation, std::vector<std::string>& out,
                                          DecodeError& error) {
  simdjson::dom::array array;
  if (value.get(array)) {
    error = {std::string(path), expectedGot(expectation, value)};
    return false;
  }
  out.clear();
  out.reserve(array.size());
  std::size_t index = 0;
  for (const simdjson::dom::element item : array) {
    std::string_view text;
    if (item.get(text)) {
      error = {elementPath(path, index), expectedGot("a string", item)};
      return false;
    }
    out.emplace_back(text);
    ++index;
  }
  return true;
}

}  // namespace ferlo::json_document
