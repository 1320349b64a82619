#include "exchange/json_writer.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/utf8.h"

namespace ferlo {

namespace {

// The bytes each style never writes as they are: the C0 controls, '"' and
// '\', and '/' (exchange) or DEL (program).
struct EscapeTable {
  bool needsEscape[256] = {};
  constexpr explicit EscapeTable(JsonStyle style) {
    for (int c = 0; c < 0x20; ++c) needsEscape[c] = true;
    // Indexed as unsigned char: clang's -Wchar-subscripts refuses a plain char.
    needsEscape[static_cast<unsigned char>('"')] = true;
    needsEscape[static_cast<unsigned char>('\\')] = true;
    if (style == JsonStyle::exchange) needsEscape[static_cast<unsigned char>('/')] = true;
    if (style == JsonStyle::program) needsEscape[0x7F] = true;
  }
};
constexpr EscapeTable kExchangeEscapes(JsonStyle::exchange);
constexpr EscapeTable kProgramEscapes(JsonStyle::program);

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

// Appends valid UTF-8 text in quotes with the escapes, copying the runs
// between the bytes that need one in a single append each.
void appendQuoted(std::string& out, std::string_view value, const bool* needsEscape) {
  out.push_back('"');
  const char* runStart = value.data();
  const char* const end = value.data() + value.size();
  for (const char* p = runStart; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!needsEscape[c]) continue;
    out.append(runStart, p);
    appendEscape(out, c);
    runStart = p + 1;
  }
  out.append(runStart, end);
  out.push_back('"');
}

}  // namespace

bool appendJsonString(std::string& out, std::string_view value, const JsonOptions& options) {
  const bool* needsEscape =
      options.style == JsonStyle::exchange ? kExchangeEscapes.needsEscape : kProgramEscapes.needsEscape;
  if (isValidUtf8(value)) {
    appendQuoted(out, value, needsEscape);
    return true;
  }
  if (!options.replaceInvalidUtf8) return false;
  appendQuoted(out, repairUtf8(value), needsEscape);
  return true;
}

void JsonWriter::newline() {
  out_.push_back('\n');
  out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_) out_.push_back(',');
  first_ = false;
  if (options_.pretty && depth_ > 0) newline();
}

void JsonWriter::open(char bracket) {
  separate();
  out_.push_back(bracket);
  ++depth_;
  first_ = true;
}

void JsonWriter::close(char bracket) {
  --depth_;
  if (options_.pretty && !first_) newline();  // an empty one stays on its line
  out_.push_back(bracket);
  first_ = false;
}

void JsonWriter::writeString(std::string_view value) {
  if (!appendJsonString(out_, value, options_)) failed_ = true;
}

void JsonWriter::key(std::string_view name) {
  separate();
  writeString(name);
  out_ += options_.pretty ? ": " : ":";
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

void JsonWriter::number(double value) {
  separate();
  out_ += jsonNumber(value);
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
  depth_ = 0;
  first_ = true;
  afterKey_ = false;
  failed_ = false;
  if (failed) return std::nullopt;
  return text;
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  if (value == std::trunc(value) && std::fabs(value) <= 9007199254740992.0) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<std::int64_t>(value));
    return std::string(digits, result.ptr);
  }
  return shortestDecimalText(value);
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
