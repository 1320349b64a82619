#include "platform/stand_in/png_size.h"

#include <array>
#include <string>
#include <cstdint>

namespace ferlo {
namespace {

constexpr std::string_view kSignature{"\x89PNG\r\n\x1a\n", 8};
// Signature, then the IHDR chunk: length (4), type (4), data (13), CRC (4).
constexpr std::size_t kHeaderBytes = kPngHeaderBytes;

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
  return (std::uint32_t{static_cast<unsigned char>(bytes[at])} << 24) |
         (std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 16) |
         (std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 8) |
         std::uint32_t{static_cast<unsigned char>(bytes[at + 3])};
}

// The CRC-32 of the PNG format (ISO 3309, polynomial 0xEDB88320).
std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

// The bit depths the format allows for each colour type.
bool validDepthForColourType(unsigned depth, unsigned colourType) {
  switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

}  // namespace

std::optional<ImageSize> readPngSize(std::string_view bytes) {
  if (bytes.size() < kHeaderBytes || bytes.substr(0, 8) != kSignature) return std::nullopt;
  // The first chunk must be IHDR, of exactly 13 bytes.
  if (bigEndian32(bytes, 8) != 13 || bytes.substr(12, 4) != "IHDR") return std::nullopt;
  // A decoder refuses a header whose checksum fails, so we do too: the image
  // would not show.
  if (crc32(bytes.substr(12, 4 + 13)) != bigEndian32(bytes, 29)) return std::nullopt;
  const std::uint32_t width = bigEndian32(bytes, 16);
  const std::uint32_t height = bigEndian32(bytes, 20);
  constexpr std::uint32_t kMaxDimension = 0x7FFFFFFFu;
  if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) return std::nullopt;
  const auto depth = static_cast<unsigned char>(bytes[24]);
  const auto colourType = static_cast<unsigned char>(bytes[25]);
  const auto compression = static_cast<unsigned char>(bytes[26]);
  const auto filter = static_cast<unsigned char>(bytes[27]);
  const auto interlace = static_cast<unsigned char>(bytes[28]);
  if (!validDepthForColourType(depth, colourType) || compression != 0 || filter != 0 || interlace > 1) {
    return std::nullopt;
  }
  return ImageSize{static_cast<double>(width), static_cast<double>(height)};
}

std::string pngStructureProblem(std::string_view bytes) {
  if (bytes.substr(0, 8) != kSignature) return "it does not begin with the PNG signature";
  bool data = false;
  for (std::size_t at = 8; at < bytes.size();) {
    const std::string where = " at byte " + std::to_string(at);
    if (bytes.size() - at < 12) return "it ends inside the chunk" + where + " (cut short)";
    const std::uint32_t length = bigEndian32(bytes, at);
    const std::string type(bytes.substr(at + 4, 4));
    const std::string chunk = "the chunk" + where + " (\"" + type + "\", " + std::to_string(length) + " bytes)";
    if (length > 0x7FFFFFFFu) return chunk + " is longer than a chunk may be";
    if (bytes.size() - at - 12 < length) return chunk + " runs past the end of the file (cut short)";
    if (crc32(bytes.substr(at + 4, 4 + length)) != bigEndian32(bytes, at + 8 + length)) {
      return chunk + " fails its CRC";
    }
    if ((at == 8) != (type == "IHDR")) return at == 8 ? "its first chunk is not IHDR" : chunk + " repeats IHDR";
    if (at == 8 && !readPngSize(bytes)) return "its IHDR chunk is not a valid image header";
    data = data || type == "IDAT";
    at += 12 + length;
    if (type != "IEND") continue;
    if (!data) return "it has no IDAT chunk";
    if (const std::size_t more = bytes.size() - at; more > 0) {
      return std::to_string(more) + (more == 1 ? " byte follows" : " bytes follow") + " its IEND chunk";
    }
    return "";
  }
  return "it ends at byte " + std::to_string(bytes.size()) + " without an IEND chunk (cut short)";
}

}  // namespace ferlo
