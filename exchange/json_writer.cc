#include "exchange/json_writer.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <simdjson.h>

namespace ferlo {

namespace {

// Bytes that are never written as they are: the C0 controls, '"', '\' and '/'.
struct EscapeTable {
  bool needsEscape[256] = {};
  constexpr EscapeTable() {
    for (int c = 0; c < 0x20; ++c) needsEscape[c] = true;
    // Indexed as unsigned char: clang's -Wchar-subscripts refuses a plain char.
    needsEscape[static_cast<unsigned char>('"')] = true;
    needsEscape[static_cast<unsigned char>('\\')] = true;
    needsEscape[static_cast<unsigned char>('/')] = true;
  }
};
constexpr EscapeTable kEscapeTable;
constexpr const bool* kNeedsEscape = kEscapeTable.needsEscape;

void appendEscape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '/': out += "\\/"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: {
      const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0x0F]};
      out.append(escape, sizeof escape);
    }
  }
}

// Appends valid UTF-8 text with the escapes, copying the runs between the
// bytes that need one in a single append each.
void appendEscapedValid(std::string& out, std::string_view value) {
  const char* runStart = value.data();
  const char* const end = value.data() + value.size();
  for (const char* p = runStart; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!kNeedsEscape[c]) continue;
    out.append(runStart, p);
    appendEscape(out, c);
    runStart = p + 1;
  }
  out.append(runStart, end);
}

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0
// when it does not begin with one (the ranges of the Unicode standard's table
// of well-formed byte sequences: no overlong forms, no surrogates, nothing
// above U+10FFFF).
std::size_t wellFormedSequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto inRange = [&](std::size_t i, unsigned char lo, unsigned char hi) {
    return i < s.size() && byte(i) >= lo && byte(i) <= hi;
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return inRange(1, 0x80, 0xBF) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char lo = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = lead == 0xED ? 0x9F : 0xBF;
    return inRange(1, lo, hi) && inRange(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char lo = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = lead == 0xF4 ? 0x8F : 0xBF;
    return inRange(1, lo, hi) && inRange(2, 0x80, 0xBF) && inRange(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

}  // namespace

bool appendJsonString(std::string& out, std::string_view value) {
  if (!simdjson::validate_utf8(value.data(), value.size())) return false;
  out.push_back('"');
  appendEscapedValid(out, value);
  out.push_back('"');
  return true;
}

void appendJsonStringReplacingInvalid(std::string& out, std::string_view value) {
  if (appendJsonString(out, value)) return;
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  out.push_back('"');
  std::size_t i = 0;
  while (i < value.size()) {
    // Take the longest well-formed stretch in one piece, then replace one byte.
    std::size_t end = i;
    while (end < value.size()) {
      const std::size_t length = wellFormedSequenceLength(value.substr(end));
      if (length == 0) break;
      end += length;
    }
    appendEscapedValid(out, value.substr(i, end - i));
    if (end < value.size()) {
      out += kReplacement;
      ++end;
    }
    i = end;
  }
  out.push_back('"');
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_) out_.push_back(',');
  first_ = false;
}

void JsonWriter::writeString(std::string_view value) {
  if (policy_ == InvalidUtf8::replace) {
    appendJsonStringReplacingInvalid(out_, value);
  } else if (!appendJsonString(out_, value)) {
    failed_ = true;
  }
}

void JsonWriter::beginObject() {
  separate();
  out_.push_back('{');
  first_ = true;
}

void JsonWriter::endObject() {
  out_.push_back('}');
  first_ = false;
}

void JsonWriter::beginArray() {
  separate();
  out_.push_back('[');
  first_ = true;
}

void JsonWriter::endArray() {
  out_.push_back(']');
  first_ = false;
}

void JsonWriter::key(std::string_view name) {
  separate();
  writeString(name);
  out_.push_back(':');
  afterKey_ = true;
}

void JsonWriter::string(std::string_view value) {
  separate();
  writeString(value);
}

void JsonWriter::integer(std::int64_t value) {
  separate();
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out_.append(digits, result.ptr);
}

void JsonWriter::boolean(bool value) {
  separate();
  out_ += value ? "true" : "false";
}

void JsonWriter::null() {
  separate();
  out_ += "null";
}

std::optional<std::string> JsonWriter::finish() {
  std::string text = std::move(out_);
  const bool failed = failed_;
  out_.clear();
  first_ = true;
  afterKey_ = false;
  failed_ = false;
  if (failed) return std::nullopt;
  return text;
}

// Written with the C library; the first precision that reads back is the
// shortest, and the fixed form has as many significant digits.
std::string shortestDecimalText(double value) {
  char scientific[32];
  int digits = 1;
  for (; digits < 17; ++digits) {
    std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, value);
    if (std::strtod(scientific, nullptr) == value) break;
  }
  if (digits == 17) std::snprintf(scientific, sizeof scientific, "%.16e", value);
  const int exponent = std::atoi(std::strchr(scientific, 'e') + 1);
  char fixed[400];  // the largest double has 309 integer digits
  std::snprintf(fixed, sizeof fixed, "%.*f", std::max(0, digits - 1 - exponent), value);
  std::string text = std::strlen(fixed) <= std::strlen(scientific) ? fixed : scientific;
  // The C library writes the locale's decimal point; JSON's is '.'.
  const std::string_view point = std::localeconv()->decimal_point;
  if (const std::size_t at = text.find(point); point != "." && !point.empty() && at != std::string::npos) {
    text.replace(at, point.size(), ".");
  }
  return text;
}

}  // namespace ferlo
