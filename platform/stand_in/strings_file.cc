#include "platform/stand_in/strings_file.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "base/utf8.h"
#include "platform/stand_in/property_list.h"

namespace ferlo {
namespace {

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The characters an old-style property list allows in an unquoted string.
bool isBareTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class StringsParser {
 public:
  explicit StringsParser(std::string_view text) : text_(text) {}

  Decoded<StringsTable> run() {
    StringsTable table;
    if (!skipTrivia()) return failure();
    bool braced = false;
    if (peek() == '{') {
      braced = true;
      ++pos_;
    }
    for (;;) {
      if (!skipTrivia()) return failure();
      if (atEnd()) {
        if (braced) return failAt(pos_, "missing '}' at the end");
        break;
      }
      if (braced && peek() == '}') {
        ++pos_;
        if (!skipTrivia()) return failure();
        if (!atEnd()) return failAt(pos_, "unexpected text after the closing '}'");
        break;
      }
      std::string key;
      if (!readText(key, "a key")) return failure();
      const std::size_t afterKey = pos_;
      if (!skipTrivia()) return failure();
      if (peek() == ';') {
        // `"key";` is the short form of `"key" = "key";`.
        ++pos_;
        std::string copy = key;
        table.insert_or_assign(std::move(key), std::move(copy));
        continue;
      }
      if (peek() != '=') return failAt(afterKey, "expected '=' after the key");
      ++pos_;
      if (!skipTrivia()) return failure();
      std::string value;
      if (!atEnd() && (peek() == '{' || peek() == '(' || peek() == '<')) {
        return failAt(pos_, "a value must be text, not a dictionary, array or data");
      }
      if (!readText(value, "a value")) return failure();
      const std::size_t afterValue = pos_;
      if (!skipTrivia()) return failure();
      // Reported where the value ends: the next line usually holds the next key.
      if (peek() != ';') return failAt(afterValue, "missing ';' after the value");
      ++pos_;
      table.insert_or_assign(std::move(key), std::move(value));
    }
    return table;
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  // '\0' past the end never matches any of the characters the grammar asks for.
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  bool fail(std::size_t at, std::string reason) {
    if (!error_) error_ = resourceErrorAt(text_, at, std::move(reason));
    return false;
  }
  Decoded<StringsTable> failAt(std::size_t at, std::string reason) {
    fail(at, std::move(reason));
    return failure();
  }
  Decoded<StringsTable> failure() { return error_.value_or(resourceErrorAt(text_, pos_, "malformed")); }

  // Whitespace and comments; false only for a comment that never ends.
  bool skipTrivia() {
    while (!atEnd()) {
      const char c = text_[pos_];
      if (isSpace(c)) {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
        const std::size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) return fail(pos_, "unterminated /* comment");
        pos_ = end + 2;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        const std::size_t end = text_.find_first_of("\r\n", pos_ + 2);
        pos_ = end == std::string_view::npos ? text_.size() : end;
      } else {
        break;
      }
    }
    return true;
  }

  // A quoted string or a bare token; `what` names it in the diagnostic.
  bool readText(std::string& out, const char* what) {
    if (atEnd()) return fail(pos_, std::string("missing ") + what + " at the end");
    if (peek() == '"') return readQuoted(out);
    const std::size_t start = pos_;
    while (!atEnd() && isBareTokenChar(text_[pos_])) ++pos_;
    if (pos_ == start) return fail(pos_, std::string("expected ") + what);
    out.assign(text_.substr(start, pos_ - start));
    return true;
  }

  bool readQuoted(std::string& out) {
    const std::size_t open = pos_++;
    for (;;) {
      // Copy the plain run in one go; only quotes and backslashes need care.
      const std::size_t special = text_.find_first_of("\"\\", pos_);
      if (special == std::string_view::npos) return fail(open, "unterminated string");
      out.append(text_.substr(pos_, special - pos_));
      pos_ = special + 1;
      if (text_[special] == '"') return true;
      if (atEnd()) return fail(open, "unterminated string");
      const std::size_t escape = special;
      const char c = text_[pos_++];
      switch (c) {
        case 'a': out.push_back('\a'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'v': out.push_back('\v'); break;
        case 'U':
        case 'u': {
          char32_t unit = 0;
          if (!readHexUnit(unit, escape)) return false;
          if (isLowSurrogate(unit)) return fail(escape, "\\U escape with an unpaired low surrogate");
          if (isHighSurrogate(unit)) {
            char32_t low = 0;
            if (pos_ + 1 >= text_.size() || text_[pos_] != '\\' || (text_[pos_ + 1] != 'U' && text_[pos_ + 1] != 'u')) {
              return fail(escape, "\\U escape with an unpaired high surrogate");
            }
            pos_ += 2;
            if (!readHexUnit(low, escape)) return false;
            if (!isLowSurrogate(low)) return fail(escape, "\\U escape with an unpaired high surrogate");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(out, unit);
          break;
        }
        default:
          if (c >= '0' && c <= '7') {
            unsigned value = static_cast<unsigned>(c - '0');
            for (int k = 0; k < 2 && !atEnd() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++k) {
              value = value * 8 + static_cast<unsigned>(text_[pos_++] - '0');
            }
            // Above \177 the platform maps through the NeXTSTEP character set,
            // which nobody means today; refuse rather than guess.
            if (value > 0177) return fail(escape, "octal escape above \\177");
            out.push_back(static_cast<char>(value));
          } else {
            // \" \' \\ and any other character stand for themselves.
            out.push_back(c);
          }
      }
    }
  }

  // 1 to 4 hex digits after \U.
  bool readHexUnit(char32_t& unit, std::size_t escape) {
    int digits = 0;
    unit = 0;
    while (digits < 4 && !atEnd() && hexValue(text_[pos_]) >= 0) {
      unit = unit * 16 + static_cast<char32_t>(hexValue(text_[pos_++]));
      ++digits;
    }
    if (digits == 0) return fail(escape, "\\U escape without hex digits");
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::optional<DecodeError> error_;
};

}  // namespace

Decoded<StringsTable> parseStringsFile(std::string_view bytes) {
  if (!isBinaryPropertyList(bytes)) {
    const Decoded<std::string> text = decodeResourceText(bytes);
    if (!text) return text.error;
    const std::size_t first = text->find_first_not_of(" \t\r\n");
    if (first == std::string::npos || (*text)[first] != '<') return StringsParser(*text).run();
  }
  Decoded<InfoValue> list = parseDictionaryPropertyList(bytes);
  if (!list) return list.error;
  StringsTable table;
  for (auto& [key, value] : list->dictionary) {
    if (value.kind != InfoValue::Kind::text) return DecodeError{"", "the value of \"" + key + "\" is not text"};
    table.emplace(std::move(key), std::move(value.text));
  }
  return table;
}

}  // namespace ferlo
