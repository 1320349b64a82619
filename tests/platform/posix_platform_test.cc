#include "platform/posix/posix_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/platform/test_support.h"

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
  ::mkdir((root / "a").c_str(), 0755);
  ::mkdir((root / "a/b").c_str(), 0755);
  putFile(root / "file", "not a directory");
  for (const std::string_view name : {"file"sv, ""sv, "."sv, ".."sv, "a/b"sv, "a/"sv, "/a"sv, "../a"sv, "a\0x"sv}) {
    EXPECT_EQ(containerOf(root.path(), name), std::nullopt) << "\"" << name << "\"";
  }
  EXPECT_EQ(containerOf(root / "absent", "a"), std::nullopt);
  EXPECT_EQ(namesIn(root.path()), (std::set<std::string>{"a", "file", kGroup})) << "nothing created";

  // A relative root would name a different place for every working directory.
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(root.path());
  const bool found = containerOf("a", "b").has_value() || containerOf("", "a").has_value();
  std::filesystem::current_path(saved);
  EXPECT_FALSE(found);
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
    EXPECT_EQ(defaultGroupContainersRoot(), c.expected) << (c.ferlo ? c.ferlo : "-") << " " << c.xdg;
  }
  for (int i = 0; i < 3; ++i) set(names[i], saved[i] ? saved[i]->c_str() : nullptr);
}

TEST(PosixFiles, WriteGoesToTheDecodedPathAndRefusesURLsThatNameNoFile) {
  TempDir dir;
  ::mkdir((dir / "a b").c_str(), 0755);
  PosixPlatform platform{PosixPlatformConfig{}};
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "a b/new", true), "x"));
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath("/", false), "x"));
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "a b/..", false), "x"));
  EXPECT_TRUE(namesIn(dir / "a b").empty());
  ASSERT_TRUE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "a b/tool-request.json", false), "{}"));
  EXPECT_EQ(fileBytes(dir / "a b/tool-request.json"), "{}");
}

TEST(PosixImages, ImageNamedReadsPngFromResourcesOnly) {
  const auto glyph = fileBytes(std::filesystem::path(__FILE__).parent_path() / "../../resources/BrandGlyph.png");
  ASSERT_TRUE(glyph.has_value());
  TempDir resources, outside;
  putFile(resources / "BrandGlyph.png", *glyph);
  putFile(outside / "Escape.png", *glyph);
  ::mkdir((resources / "Folder.png").c_str(), 0755);
  PosixPlatformConfig config;
  config.resourcesDirectory = resources.path();
  PosixPlatform platform(std::move(config));
  const std::optional<ImageSize> size = platform.imageNamed("BrandGlyph");
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(std::pair(size->width, size->height), std::pair(16.0, 16.0));
  // A name is not a path: nothing outside the resources is reachable.
  const std::string escape = "../" + std::filesystem::path(outside.path()).filename().string() + "/Escape";
  for (const std::string& name : {"Missing"s, "Folder"s, ""s, escape}) {
    EXPECT_FALSE(platform.imageNamed(name).has_value()) << name;
  }
}

}  // namespace
}  // namespace ferlo
