#include "platform/stand_in/bundle_reader.h"

#include <cstdint>
#include <utility>

#include "platform/files/file_io.h"
#include "platform/stand_in/resource_text.h"

namespace ferlo {
namespace {

constexpr std::uint32_t kCpuTypeX86_64 = 0x01000007;
constexpr std::uint32_t kCpuTypeArm64 = 0x0100000C;
constexpr std::uint32_t kMachOExecute = 2;  // MH_EXECUTE

std::uint32_t word(std::string_view bytes, std::size_t at, bool bigEndian) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + (bigEndian ? i : 3 - i)]));
    value = value << 8 | byte;
  }
  return value;
}

bool loadableCpu(std::uint32_t type) { return type == kCpuTypeArm64 || type == kCpuTypeX86_64; }

}  // namespace

std::optional<std::string> BundleContents::text(std::string_view key) const {
  const auto it = infoDictionary.find(key);
  if (it == infoDictionary.end() || it->second.kind != InfoValue::Kind::text) return std::nullopt;
  return it->second.text;
}

std::optional<std::string> BundleContents::identifier() const { return text("CFBundleIdentifier"); }

Decoded<BundleContents> readBundle(std::string_view path) {
  BundleContents bundle;
  bundle.path = std::string(path);
  while (bundle.path.size() > 1 && bundle.path.back() == '/') bundle.path.pop_back();
  const std::string file = bundle.infoPlistPath();
  const Decoded<std::string> bytes = readRegularFile(file);
  if (!bytes) return DecodeError{"", "cannot read " + file + ": " + bytes.error.why};
  Decoded<InfoValue> list = parseDictionaryPropertyList(*bytes);
  if (!list) return DecodeError{"", file + " cannot be read: " + describe(list.error)};
  bundle.infoFormat = propertyListFormat(*bytes);
  for (auto& [key, value] : list->dictionary) bundle.infoDictionary.insert_or_assign(key, std::move(value));
  return bundle;
}

std::string machOProblem(std::string_view head) {
  if (head.size() < 4) return "is not a Mach-O file (" + std::to_string(head.size()) + " bytes)";
  const std::uint32_t magic = word(head, 0, true);
  if (magic == 0xCFFAEDFE) {  // MH_MAGIC_64, stored little-endian as on both CPUs
    if (head.size() < 32) return "is a Mach-O file cut short in its header";
    if (!loadableCpu(word(head, 4, false))) return "is a 64-bit Mach-O file for neither arm64 nor x86_64";
    if (word(head, 12, false) != kMachOExecute) return "is a 64-bit Mach-O file, but not an executable";
    return "";
  }
  if (magic == 0xCEFAEDFE || magic == 0xFEEDFACE) return "is a 32-bit Mach-O file, which no current Mac loads";
  if (magic == 0xFEEDFACF) return "is a big-endian Mach-O file, for neither arm64 nor x86_64";
  if (magic == 0xCAFEBABE || magic == 0xCAFEBABF) {  // universal: FAT_MAGIC, FAT_MAGIC_64
    const std::size_t entry = magic == 0xCAFEBABE ? 20 : 32;
    const std::uint32_t count = head.size() < 8 ? 0 : word(head, 4, true);
    // A Java class file shares the first magic; its version makes a count
    // of 45 or more, far beyond the slices of any universal file.
    if (count == 0 || count >= 45 || 8 + count * entry > head.size()) return "is not a Mach-O file";
    for (std::uint32_t i = 0; i < count; ++i) {
      if (loadableCpu(word(head, 8 + i * entry, true))) return "";
    }
    return "is a universal file with no arm64 or x86_64 slice";
  }
  return "is not a Mach-O file";
}

}  // namespace ferlo
