// Reads property lists from stdin, each as a 4-byte big-endian length and
// its bytes, and prints a line for each: "!" and the reason when refused,
// else the value: texts and keys as hex of their UTF-8, numbers as %.17g,
// T and F, [a,b] and {k:v,...}. tests/differential/property_list_differential.py
// compares these lines with what a second reader makes of the same bytes.
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/stand_in/property_list.h"

namespace {

std::string hex(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
  return out;
}

std::string canonical(const ferlo::InfoValue& value) {
  using Kind = ferlo::InfoValue::Kind;
  std::string out;
  char number[40];
  switch (value.kind) {
    case Kind::text: return "s" + hex(value.text);
    case Kind::number: return std::snprintf(number, sizeof number, "%.17g", value.number), number;
    case Kind::boolean: return value.boolean ? "T" : "F";
    case Kind::list:
      for (const auto& item : value.list) out += (out.empty() ? "" : ",") + canonical(item);
      return "[" + out + "]";
    case Kind::dictionary:
      for (const auto& [key, item] : value.dictionary) out += (out.empty() ? "" : ",") + hex(key) + ":" + canonical(item);
      return "{" + out + "}";
  }
  return "?";
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  unsigned char size[4];
  while (std::cin.read(reinterpret_cast<char*>(size), 4)) {
    std::string bytes((std::size_t{size[0]} << 24) | (size[1] << 16) | (size[2] << 8) | size[3], '\0');
    if (!std::cin.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return 2;
    const ferlo::Decoded<ferlo::InfoValue> result = ferlo::parsePropertyList(bytes);
    std::cout << (result ? canonical(*result) : "!" + describe(result.error)) << '\n';
  }
  return 0;
}
