#include "platform/posix/posix_platform.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/png_size.h"
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
  auto platform = platformWithRoot(root.path());
  auto url = platform.containerURLForSecurityApplicationGroupIdentifier(kGroup);
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(*url, FileURL::fileURLWithPath(root / std::string(kGroup), true));
  EXPECT_EQ(url->path(), root / std::string(kGroup));

  // A final "/" on the root makes no "//" in the URL.
  auto slashed = platformWithRoot(root.path() + "/");
  EXPECT_EQ(slashed.containerURLForSecurityApplicationGroupIdentifier(kGroup), url);
}

TEST(PosixContainer, MissingGroupGivesNoneAndCreatesNothing) {
  TempDir root;
  auto platform = platformWithRoot(root.path());
  EXPECT_FALSE(platform.containerURLForSecurityApplicationGroupIdentifier(kGroup).has_value());
  EXPECT_TRUE(namesIn(root.path()).empty());

  auto missingRoot = platformWithRoot(root / "absent");
  EXPECT_FALSE(missingRoot.containerURLForSecurityApplicationGroupIdentifier(kGroup).has_value());
  EXPECT_FALSE(std::filesystem::exists(root / "absent"));
}

TEST(PosixContainer, FileInPlaceOfDirectoryGivesNone) {
  TempDir root;
  putFile(root / std::string(kGroup), "not a directory");
  EXPECT_FALSE(platformWithRoot(root.path()).containerURLForSecurityApplicationGroupIdentifier(kGroup).has_value());
}

TEST(PosixContainer, HostileGroupNamesGiveNone) {
  // Every one of these would name an existing directory if it were joined
  // to the root blindly: the root itself, its parent, a sub-directory, or
  // "a" once the C string stops at the NUL.
  TempDir root;
  ::mkdir((root / "a").c_str(), 0755);
  ::mkdir((root / "a/b").c_str(), 0755);
  auto platform = platformWithRoot(root.path());
  const std::string_view names[] = {
      "", ".", "..", "a/b", "a/", "/a", "../a", "a/../a", std::string_view("a\0x", 3),
  };
  for (auto name : names) {
    EXPECT_FALSE(platform.containerURLForSecurityApplicationGroupIdentifier(name).has_value())
        << "group \"" << name << "\"";
  }
  EXPECT_TRUE(platform.containerURLForSecurityApplicationGroupIdentifier("a").has_value());
}

TEST(PosixContainer, UnusableRootGivesNone) {
  TempDir cwd;
  ::mkdir((cwd / "rel").c_str(), 0755);
  ::mkdir((cwd / "rel/g").c_str(), 0755);
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(::chdir(cwd.path().c_str()), 0);
  bool relative = platformWithRoot("rel").containerURLForSecurityApplicationGroupIdentifier("g").has_value();
  bool empty = platformWithRoot("").containerURLForSecurityApplicationGroupIdentifier("rel").has_value();
  ASSERT_EQ(::chdir(saved), 0);
  EXPECT_FALSE(relative) << "a relative root depends on the working directory";
  EXPECT_FALSE(empty);
}

// ---- default root ----

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~EnvironmentGuard() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(DefaultGroupContainersRoot, FollowsEnvironment) {
  struct Case {
    const char* ferlo;  // nullptr: unset
    const char* xdg;
    const char* home;
    std::string_view expected;
  } cases[] = {
      {"/g", "/x", "/h", "/g"},
      {"", "/x", "/h", "/x/ferlo/group-containers"},
      {nullptr, "/x", "/h", "/x/ferlo/group-containers"},
      {nullptr, "", "/h", "/h/.local/share/ferlo/group-containers"},
      {nullptr, nullptr, "/h", "/h/.local/share/ferlo/group-containers"},
      {nullptr, "relative/data", "/h", "/h/.local/share/ferlo/group-containers"},
  };
  EnvironmentGuard guard({"FERLO_GROUP_CONTAINERS", "XDG_DATA_HOME", "HOME"});
  auto set = [](const char* name, const char* value) {
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  };
  for (const auto& c : cases) {
    set("FERLO_GROUP_CONTAINERS", c.ferlo);
    set("XDG_DATA_HOME", c.xdg);
    set("HOME", c.home);
    EXPECT_EQ(defaultGroupContainersRoot(), c.expected)
        << (c.ferlo ? c.ferlo : "-") << " " << (c.xdg ? c.xdg : "-") << " " << (c.home ? c.home : "-");
  }
}

// ---- user and home ----

TEST(PosixUser, RealUserHomeComesFromUserDatabase) {
  PosixPlatform platform{PosixPlatformConfig{}};
  passwd* entry = ::getpwuid(::getuid());
  if (entry == nullptr || entry->pw_dir == nullptr) {
    EXPECT_FALSE(platform.homeDirectoryOfRealUser().has_value());
  } else {
    EXPECT_EQ(platform.homeDirectoryOfRealUser(), std::string(entry->pw_dir));
  }
}

TEST(PosixUser, OverrideAndNoEntry) {
  PosixPlatformConfig config;
  config.userHomeOverride = "/Users/user";
  PosixPlatform overridden(config);
  EXPECT_EQ(overridden.homeDirectoryOfRealUser(), "/Users/user");

  config.noUserEntry = true;  // wins over the override: there is no entry at all
  PosixPlatform noEntry(config);
  EXPECT_FALSE(noEntry.homeDirectoryOfRealUser().has_value());
}

TEST(PosixUser, PlatformHomeIsDirectoryURL) {
  PosixPlatformConfig config;
  config.platformHome = "/home/some one";
  PosixPlatform platform(std::move(config));
  EXPECT_EQ(platform.homeDirectoryForCurrentUser().absoluteString(), "file:///home/some%20one/");
}

// ---- files through URLs ----

TEST(PosixFiles, WriteRefusesURLsThatNameNoFile) {
  TempDir dir;
  PosixPlatform platform{PosixPlatformConfig{}};
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir.path(), true), "x"));
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath("/", false), "x"));
  EXPECT_FALSE(platform.writeFileAtomically(FileURL::fileURLWithPath(dir / "..", false), "x"));
  EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(PosixFiles, WriteGoesToDecodedPath) {
  TempDir dir;
  ::mkdir((dir / "a b").c_str(), 0755);
  PosixPlatform platform{PosixPlatformConfig{}};
  auto url = FileURL::fileURLWithPath(dir / "a b", true).appendingPathComponent("tool-request.json");
  ASSERT_TRUE(platform.writeFileAtomically(url, "{}"));
  EXPECT_EQ(testing::fileBytes(dir / "a b/tool-request.json"), "{}");
  EXPECT_EQ(platform.readWholeFile(url), "{}");
}

// ---- images ----

std::uint32_t pngCrc(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

std::string pngHeader(std::uint32_t width, std::uint32_t height) {
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  std::string chunk = "IHDR" + be32(width) + be32(height) + std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + chunk + be32(pngCrc(chunk));
}

TEST(PosixImages, ImageNamedReadsPngFromResources) {
  TempDir resources;
  const std::string png = pngHeader(32, 16);
  putFile(resources / "BrandGlyph.png", png);
  ::mkdir((resources / "Folder.png").c_str(), 0755);
  TempDir outside;
  putFile(outside / "Escape.png", png);

  PosixPlatformConfig config;
  config.resourcesDirectory = resources.path();
  PosixPlatform platform(std::move(config));

  auto size = platform.imageNamed("BrandGlyph");
  auto expected = readPngSize(png);
  ASSERT_TRUE(size.has_value());
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(size->width, expected->width);
  EXPECT_EQ(size->height, expected->height);

  EXPECT_FALSE(platform.imageNamed("Missing").has_value());
  EXPECT_FALSE(platform.imageNamed("Folder").has_value());
  EXPECT_FALSE(platform.imageNamed("").has_value());
  // A name is not a path: nothing outside the resources is reachable.
  std::string escape = "../" + std::filesystem::path(outside.path()).filename().string() + "/Escape";
  EXPECT_FALSE(platform.imageNamed(escape).has_value());
}

// ---- opens ----

TEST(PosixOpens, CallbackRunsAfterRecordingAndMayReadRecords) {
  std::vector<std::size_t> seen;
  PosixPlatform* self = nullptr;
  PosixPlatformConfig config;
  config.onOpen = [&](const FileURL& url, bool activates) {
    EXPECT_EQ(url.absoluteString(), "file:///a/H.app/");
    EXPECT_TRUE(activates);
    seen.push_back(self->opens().size());  // must not deadlock
  };
  PosixPlatform platform(std::move(config));
  self = &platform;
  platform.openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), true);
  platform.openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), true);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2}));
}

}  // namespace
}  // namespace ferlo
