#include "exchange/uuid.h"

#include "exchange/hex_digits.h"

namespace ferlo {

namespace {

constexpr std::size_t kUuidTextLength = 36;

}  // namespace

std::string Uuid::uuidString() const {
  // Two digits per byte, each written where it belongs: a menu formats the
  // id of every rule.
  static constexpr char kDigits[] = "0123456789ABCDEF";
  static constexpr std::uint8_t kAt[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
  std::string text(kUuidTextLength, '-');
  char* out = text.data();
  for (std::size_t i = 0; i < 16; ++i) {
    out[kAt[i]] = kDigits[bytes[i] >> 4];
    out[kAt[i] + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<Uuid> parseUuid(std::string_view text) {
  if (text.size() != kUuidTextLength) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  // Non-short-circuit: one branch for the four hyphens.
  const int hyphensWrong = int{p[8] != '-'} | int{p[13] != '-'} | int{p[18] != '-'} | int{p[23] != '-'};
  if (hyphensWrong != 0) return std::nullopt;
  // The 32 digits of the groups 8-4-4-4-12 as four words of eight.
  using hex_digits::loadLittleEndian;
  const std::uint64_t group1 = loadLittleEndian<8>(p);
  const std::uint64_t groups23 = loadLittleEndian<4>(p + 9) | (loadLittleEndian<4>(p + 14) << 32);
  const std::uint64_t groups45 = loadLittleEndian<4>(p + 19) | (loadLittleEndian<4>(p + 24) << 32);
  const std::uint64_t group5 = loadLittleEndian<8>(p + 28);
  Uuid uuid;
  const bool firstOk = hex_digits::decodeSixteen(group1, groups23, uuid.bytes.data());
  const bool secondOk = hex_digits::decodeSixteen(groups45, group5, uuid.bytes.data() + 8);
  if (!firstOk || !secondOk) return std::nullopt;
  return uuid;
}

}  // namespace ferlo
