#include "platform/posix/posix_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

using testing::namesIn;
using testing::putFile;
using testing::TempDir;

constexpr std::string_view kGroup = "K7Q2M9X4RB.com.ferlo.Ferlo";

PosixPlatform platformWithRoot(const std::string& root) {
  PosixPlatformConfig config;
  config.groupContainersRoot = root;
  return PosixPlatform(std::move(config));
}

// ---- containers ----

TEST(PosixContainer, ExistingDirectoryGivesDirectoryURL) {
  TempDir root;
  ASSERT_EQ(::mkdir((root / std::string(kGroup)).c_str(), 0755), 0);
  auto url = platformWithRoot(root.path()).containerURLForSecurityApplicationGroupIdentifier(kGroup);
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(*url, FileURL::fileURLWithPath(root / std::string(kGroup), true));
  // A final "/" on the root makes no "//" in the URL.
  EXPECT_EQ(platformWithRoot(root.path() + "/").containerURLForSecurityApplicationGroupIdentifier(kGroup), url);
}

TEST(PosixContainer, NoUsableDirectoryGivesNoneAndCreatesNothing) {
  // Every hostile name would reach an existing directory if it were joined
  // to the root blindly: the root itself, its parent, a sub-directory, or
  // "a" once the C string stops at the NUL.
  TempDir root;
  ::mkdir((root / "a").c_str(), 0755);
  ::mkdir((root / "a/b").c_str(), 0755);
  putFile(root / "file", "not a directory");
  auto platform = platformWithRoot(root.path());
  const std::string_view names[] = {
      kGroup, "file", "", ".", "..", "a/b", "a/", "/a", "../a", "a/../a", std::string_view("a\0x", 3),
  };
  for (auto name : names) {
    EXPECT_FALSE(platform.containerURLForSecurityApplicationGroupIdentifier(name).has_value()) << "\"" << name << "\"";
  }
  EXPECT_TRUE(platform.containerURLForSecurityApplicationGroupIdentifier("a").has_value());
  EXPECT_FALSE(platformWithRoot(root / "absent").containerURLForSecurityApplicationGroupIdentifier("a").has_value());
  EXPECT_EQ(namesIn(root.path()), (std::set<std::string>{"a", "file"}));
}

TEST(PosixContainer, RelativeOrEmptyRootGivesNone) {
  TempDir cwd;
  ::mkdir((cwd / "rel").c_str(), 0755);
  ::mkdir((cwd / "rel/g").c_str(), 0755);
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  bool relative = platformWithRoot("rel").containerURLForSecurityApplicationGroupIdentifier("g").has_value();
  bool empty = platformWithRoot("").containerURLForSecurityApplicationGroupIdentifier("rel").has_value();
  std::filesystem::current_path(saved);
  EXPECT_FALSE(relative) << "a relative root depends on the working directory";
  EXPECT_FALSE(empty);
}

TEST(DefaultGroupContainersRoot, FollowsEnvironment) {
  struct Case {
    const char* ferlo;  // nullptr: unset
    const char* xdg;
    std::string_view expected;
  } cases[] = {
      {"/g", "/x", "/g"},
      {"", "/x", "/x/ferlo/group-containers"},
      {nullptr, "relative/data", "/h/.local/share/ferlo/group-containers"},
  };
  const char* const names[] = {"FERLO_GROUP_CONTAINERS", "XDG_DATA_HOME", "HOME"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) {
    if (const char* value = std::getenv(names[i])) saved[i] = value;
  }
  auto set = [](const char* name, const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); };
  for (const auto& c : cases) {
    set(names[0], c.ferlo);
    set(names[1], c.xdg);
    set(names[2], "/h");
    EXPECT_EQ(defaultGroupContainersRoot(), c.expected) << (c.ferlo ? c.ferlo : "-") << " " << c.xdg;
  }
  for (int i = 0; i < 3; ++i) set(names[i], saved[i] ? saved[i]->c_str() : nullptr);
}

TEST(PosixUser, NoUserEntryWinsOverTheOverride) {
  PosixPlatformConfig config;
  config.userHomeOverride = "/Users/user";
  EXPECT_EQ(PosixPlatform(config).homeDirectoryOfRealUser(), "/Users/user");
  config.noUserEntry = true;
  EXPECT_FALSE(PosixPlatform(config).homeDirectoryOfRealUser().has_value());
}

// ---- files through URLs ----

TEST(PosixFiles, WriteGoesToTheDecodedPathAndRefusesURLsThatNameNoFile) {
  TempDir dir;
  ::mkdir((dir / "a b").c_str(), 0755);
  PosixPlatform platform{PosixPlatformConfig{}};
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "a b", true), "x"));
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath("/", false), "x"));
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "a b/..", false), "x"));
  EXPECT_TRUE(namesIn(dir / "a b").empty());
  auto url = FileURL::fileURLWithPath(dir / "a b", true).appendingPathComponent("tool-request.json");
  ASSERT_TRUE(platform.writeFileAtomically(url, "{}"));
  EXPECT_EQ(testing::fileBytes(dir / "a b/tool-request.json"), "{}");
}

// ---- images ----

TEST(PosixImages, ImageNamedReadsPngFromResourcesOnly) {
  const auto glyph = testing::fileBytes(std::filesystem::path(__FILE__).parent_path().string() + "/../../resources/BrandGlyph.png");
  ASSERT_TRUE(glyph.has_value());
  TempDir resources, outside;
  putFile(resources / "BrandGlyph.png", *glyph);
  putFile(outside / "Escape.png", *glyph);
  ::mkdir((resources / "Folder.png").c_str(), 0755);
  PosixPlatformConfig config;
  config.resourcesDirectory = resources.path();
  PosixPlatform platform(std::move(config));

  auto size = platform.imageNamed("BrandGlyph");
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 16.0);
  EXPECT_EQ(size->height, 16.0);
  // A name is not a path: nothing outside the resources is reachable.
  const std::string escape = "../" + std::filesystem::path(outside.path()).filename().string() + "/Escape";
  for (const std::string& name : {std::string("Missing"), std::string("Folder"), std::string(), escape}) {
    EXPECT_FALSE(platform.imageNamed(name).has_value()) << name;
  }
}

// ---- opens ----

TEST(PosixOpens, CallbackRunsAfterRecordingAndMayReadRecords) {
  std::vector<std::size_t> seen;
  PosixPlatform* self = nullptr;
  PosixPlatformConfig config;
  config.onOpen = [&](const FileURL&, bool) { seen.push_back(self->opens().size()); };  // must not deadlock
  PosixPlatform platform(std::move(config));
  self = &platform;
  platform.openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), true);
  platform.openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), true);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2}));
}

}  // namespace
}  // namespace ferlo
