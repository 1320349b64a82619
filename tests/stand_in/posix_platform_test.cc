#include "platform/stand_in/posix_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/stand_in/bundle_reader.h"
#include "platform/stand_in/png_size.h"
#include "tests/support/files.h"

namespace ferlo {
namespace {

using namespace ferlo::testing;
using namespace std::literals;

const std::string kGroup = "K7Q2M9X4RB.com.ferlo.Ferlo";

std::optional<FileURL> containerOf(const std::string& root, std::string_view group) {
  PosixPlatformConfig config;
  config.groupContainersRoot = root;
  return PosixPlatform(std::move(config)).containerURLForSecurityApplicationGroupIdentifier(group);
}

TEST(PosixContainer, OnlyAnExistingDirectoryJustBelowAnAbsoluteRoot) {
  TempDir root;
  ASSERT_EQ(::mkdir((root / kGroup).c_str(), 0755), 0);
  const FileURL expected = FileURL::fileURLWithPath(root / kGroup, true);
  EXPECT_EQ(containerOf(root.path(), kGroup), expected);
  EXPECT_EQ(containerOf(root.path() + "/", kGroup), expected) << "a final \"/\" on the root makes no \"//\"";

  // Every hostile name would reach an existing directory if it were joined
  // to the root blindly: the root itself, its parent, a sub-directory, or
  // "a" once the C string stops at the NUL.
  std::filesystem::create_directories(root / "a/b");
  writeFile(root / "file", "not a directory");
  for (const std::string_view name : {"file"sv, ""sv, "."sv, ".."sv, "a/b"sv, "a/"sv, "/a"sv, "../a"sv, "a\0x"sv})
    EXPECT_EQ(containerOf(root.path(), name), std::nullopt) << "\"" << name << "\"";
  EXPECT_EQ(containerOf(root / "absent", "a"), std::nullopt);
  EXPECT_EQ(namesIn(root.path()), (std::set<std::string>{"a", "file", kGroup})) << "nothing created";

  // A relative root would name a different place for every working directory.
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(root.path());
  EXPECT_FALSE(containerOf("a", "b") || containerOf("", "a"));
  std::filesystem::current_path(saved);
}

TEST(DefaultGroupContainersRoot, FollowsEnvironment) {
  // A variable of nullptr is unset.
  const struct { const char *ferlo, *xdg; std::string_view expected; } cases[] = {
      {"/g", "/x", "/g"}, {"", "/x", "/x/ferlo/group-containers"},
      {nullptr, "relative/data", "/h/.local/share/ferlo/group-containers"}};
  const char* const names[] = {"FERLO_GROUP_CONTAINERS", "XDG_DATA_HOME", "HOME"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) if (const char* value = std::getenv(names[i])) saved[i] = value;
  auto set = [](const char* name, const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); };
  for (const auto& c : cases) {
    set(names[0], c.ferlo), set(names[1], c.xdg), set(names[2], "/h");
    EXPECT_EQ(defaultGroupContainersRoot(), c.expected) << c.xdg;
  }
  for (int i = 0; i < 3; ++i) set(names[i], saved[i] ? saved[i]->c_str() : nullptr);
}

TEST(PosixFiles, WriteGoesToTheDecodedPathAndRefusesURLsThatNameNoFile) {
  TempDir dir;
  ::mkdir((dir / "a b").c_str(), 0755);
  PosixPlatform platform{PosixPlatformConfig{}};
  for (const auto& [path, isDirectory] : {std::pair{dir / "a b/new", true}, {"/", false}, {dir / "a b/..", false}})
    EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(path, isDirectory), "x")) << path;
  EXPECT_TRUE(namesIn(dir / "a b").empty());
  ASSERT_TRUE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "a b/tool-request.json", false), "{}"));
  EXPECT_EQ(fileBytes(dir / "a b/tool-request.json"), "{}");
}

TEST(PosixImages, ImageNamedReadsPngFromResourcesOnly) {
  const auto glyph = fileBytes(std::filesystem::path(__FILE__).parent_path() / "../../resources/BrandGlyph.png");
  ASSERT_TRUE(glyph.has_value());
  TempDir resources, outside;
  writeFile(resources / "BrandGlyph.png", *glyph);
  writeFile(outside / "Escape.png", *glyph);
  ::mkdir((resources / "Folder.png").c_str(), 0755);
  PosixPlatformConfig config;
  config.resourcesDirectory = resources.path();
  PosixPlatform platform(std::move(config));
  const std::optional<ImageSize> size = platform.imageNamed("BrandGlyph");
  EXPECT_TRUE(size && size->width == 16.0 && size->height == 16.0);
  // A name is not a path: nothing outside the resources is reachable.
  const std::string escape = "../" + std::filesystem::path(outside.path()).filename().string() + "/Escape";
  for (const std::string& name : {"Missing"s, "Folder"s, ""s, escape}) EXPECT_FALSE(platform.imageNamed(name)) << name;
}

// ---- the PNG header ----

std::string be32(std::uint32_t n) { return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)}; }

// The 8-byte signature and an IHDR chunk; the checksums were made with an
// independent encoder (Python's zlib.crc32).
std::string png(std::uint32_t width, std::uint32_t height, char depth, char colour, char interlace, std::uint32_t crc) {
  return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + "IHDR" + be32(width) + be32(height) + depth + colour +
         std::string(2, '\0') + interlace + be32(crc);
}
const std::string kRgba16 = png(16, 16, 8, 6, 0, 0x1ff3ff61);

std::string withByte(std::string bytes, std::size_t at, char value) { return bytes[at] = value, bytes; }

TEST(PngSize, ReadsTheHeaderOfAWellFormedPngOnly) {
  const struct { const char* name; std::string bytes; std::optional<std::pair<double, double>> size = {}; } cases[] = {
      {"Rgba16x16", kRgba16, std::pair(16.0, 16.0)}, {"TrailingDataIgnored", kRgba16 + "\0\0\0\0IEND", std::pair(16.0, 16.0)},
      {"WidestAllowed", png(0x7fffffff, 1, 8, 6, 0, 0xa03633dd), std::pair(2147483647.0, 1.0)},
      {"PaletteInterlaced", png(3, 5, 1, 3, 1, 0xcdb8f477), std::pair(3.0, 5.0)},
      {"WidthAbove2To31", png(0x80000000, 1, 8, 6, 0, 0x50bd8aa0)}, {"ZeroWidth", png(0, 16, 8, 6, 0, 0x385d7e89)},
      {"RgbWithDepth4", png(3, 5, 4, 2, 0, 0xcae32cf4)}, {"InterlaceMethod2", png(3, 5, 8, 6, 2, 0x6e7f378e)},
      {"ColourType7", png(3, 5, 8, 7, 0, 0x38cd31c7)}, {"BadCrc", withByte(kRgba16, 32, '\x62')},
      {"WrongSignature", withByte(kRgba16, 1, 'Q')}, {"IhdrLength14", withByte(kRgba16, 11, '\x0e')},
  };
  for (const auto& c : cases) {
    const std::optional<ImageSize> size = readPngSize(c.bytes);
    EXPECT_EQ(size ? std::optional(std::pair(size->width, size->height)) : std::nullopt, c.size) << c.name;
  }
  for (std::size_t n = 0; n < kRgba16.size(); ++n) EXPECT_FALSE(readPngSize(kRgba16.substr(0, n))) << "prefix of " << n;
}

TEST(PngStructure, FollowsEveryChunkToIend) {
  const std::string idat = be32(0) + "IDAT" + be32(0x35af061e), iend = be32(0) + "IEND" + be32(0xae426082);
  const std::string whole = kRgba16 + idat + iend;
  const std::pair<std::string, std::string> cases[] = {
      {whole, ""},
      {kRgba16 + iend, "it has no IDAT chunk"},
      {whole + "x", "1 byte follows its IEND chunk"},
      {kRgba16 + withByte(idat, 11, 0) + iend, "the chunk at byte 33 (\"IDAT\", 0 bytes) fails its CRC"},
      {kRgba16.substr(0, 8) + idat + kRgba16.substr(8) + iend, "its first chunk is not IHDR"},
      {kRgba16 + kRgba16.substr(8) + idat + iend, "the chunk at byte 33 (\"IHDR\", 13 bytes) repeats IHDR"},
      {png(0, 16, 8, 6, 0, 0x385d7e89) + idat + iend, "its IHDR chunk is not a valid image header"},
      {kRgba16 + be32(0x80000000) + "IDAT" + be32(0), "the chunk at byte 33 (\"IDAT\", 2147483648 bytes) is longer than a chunk may be"},
      {withByte(whole, 0, 'x'), "it does not begin with the PNG signature"},
  };
  for (const auto& [bytes, problem] : cases) EXPECT_EQ(pngStructureProblem(bytes), problem) << problem;
  for (std::size_t n = 0; n < whole.size(); ++n) EXPECT_NE(pngStructureProblem(whole.substr(0, n)), "") << n;
}

// The executable's head: a 64-bit arm64 or x86_64 executable, or a universal
// file with such a slice, else why not.
TEST(MachO, OnlyWhatTheSystemCouldLoadPasses) {
  const auto le = [](std::uint32_t n) { return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)}; };
  const auto thin = [&](std::uint32_t magic, std::uint32_t cpu, std::uint32_t type) {
    return le(magic) + le(cpu) + le(0) + le(type) + std::string(16, '\0');
  };
  const auto fat = [&](std::vector<std::uint32_t> cpus) {
    std::string bytes = be32(0xcafebabe) + be32(static_cast<std::uint32_t>(cpus.size()));
    for (const std::uint32_t cpu : cpus) bytes += be32(cpu) + std::string(16, '\0');
    return bytes;
  };
  constexpr std::uint32_t kArm64 = 0x0100000c, kX86_64 = 0x01000007, kMagic64 = 0xfeedfacf;
  const std::pair<std::string, std::string> cases[] = {
      {thin(kMagic64, kArm64, 2), ""}, {thin(kMagic64, kX86_64, 2), ""}, {fat({7, kArm64}), ""},
      {thin(kMagic64, kArm64, 6), "is a 64-bit Mach-O file, but not an executable"},
      {thin(kMagic64, 0x01000012, 2), "is a 64-bit Mach-O file for neither arm64 nor x86_64"},
      {thin(kMagic64, kArm64, 2).substr(0, 31), "is a Mach-O file cut short in its header"},
      {thin(0xfeedface, 7, 2), "is a 32-bit Mach-O file, which no current Mac loads"},
      {fat({7, 0x12}), "is a universal file with no arm64 or x86_64 slice"},
      {fat({kArm64}).substr(0, 27), "is not a Mach-O file"},  // its one slice cut short
      {be32(0xcafebabe) + be32(0x34), "is not a Mach-O file"},  // a Java class file
      {"#!/bin/sh\n", "is not a Mach-O file"}, {"MZ", "is not a Mach-O file (2 bytes)"},
  };
  for (const auto& [head, problem] : cases) EXPECT_EQ(machOProblem(head), problem) << problem;
}

}  // namespace
}  // namespace ferlo
