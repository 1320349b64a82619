#include "exchange/uuid.h"

namespace ferlo {

namespace {

constexpr std::size_t kUuidTextLength = 36;

constexpr bool isHyphenIndex(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

// The value of one hexadecimal digit in either case, or -1.
constexpr int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Uuid::uuidString() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(kUuidTextLength, '-');
  std::size_t at = 0;
  for (std::uint8_t byte : bytes) {
    if (isHyphenIndex(at)) ++at;
    text[at++] = kDigits[byte >> 4];
    text[at++] = kDigits[byte & 0x0F];
  }
  return text;
}

std::optional<Uuid> parseUuid(std::string_view text) {
  if (text.size() != kUuidTextLength) return std::nullopt;
  Uuid uuid;
  std::size_t byteIndex = 0;
  for (std::size_t i = 0; i < kUuidTextLength;) {
    if (isHyphenIndex(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    // Digit pairs never straddle a hyphen: every group has an even length.
    const int high = hexValue(text[i]);
    const int low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    uuid.bytes[byteIndex++] = static_cast<std::uint8_t>((high << 4) | low);
    i += 2;
  }
  return uuid;
}

}  // namespace ferlo
