// What the extension may rely on of any platform: run against the in-memory
// fake and the POSIX stand-in alike, so that tests written against the fake
// say something about the real thing.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/posix/posix_platform.h"
#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

using testing::TempDir;

constexpr const char* kGroup = "K7Q2M9X4RB.com.ferlo.Ferlo";

struct World {
  std::multiset<std::string, std::less<>> running;
  std::vector<std::string> groupsWithContainer;
};

class FakeSubject {
 public:
  explicit FakeSubject(const World& world) {
    fake_.runningBundleIdentifiers = world.running;
    for (const auto& group : world.groupsWithContainer) {
      fake_.containers.emplace(group, FileURL::fileURLWithPath("/containers/" + group, true));
    }
  }
  FakePlatform& platform() { return fake_; }
  FileURL workDirectory() { return FileURL::fileURLWithPath("/work", true); }
  // While broken, every write fails for a reason of the platform's own.
  void breakWrites(bool broken) { fake_.failWrites = broken; }

 private:
  FakePlatform fake_;
};

// Breaks writes with RLIMIT_FSIZE, which stops root as well as anyone else.
class PosixSubject {
 public:
  explicit PosixSubject(const World& world) {
    PosixPlatformConfig config;
    config.groupContainersRoot = containers_.path();
    config.runningBundleIdentifiers = world.running;
    for (const auto& group : world.groupsWithContainer) ::mkdir((containers_ / group).c_str(), 0755);
    posix_ = std::make_unique<PosixPlatform>(std::move(config));
  }
  ~PosixSubject() { breakWrites(false); }
  PosixPlatform& platform() { return *posix_; }
  FileURL workDirectory() { return FileURL::fileURLWithPath(work_.path(), true); }
  void breakWrites(bool broken) {
    if (broken == broken_) return;
    broken_ = broken;
    static rlimit saved{};
    if (broken) ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    if (broken) limit.rlim_cur = 1;
    ::signal(SIGXFSZ, broken ? SIG_IGN : SIG_DFL);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }

 private:
  TempDir containers_, work_;
  std::unique_ptr<PosixPlatform> posix_;
  bool broken_ = false;
};

template <class Subject>
class PlatformContract : public ::testing::Test {};

using Implementations = ::testing::Types<FakeSubject, PosixSubject>;
TYPED_TEST_SUITE(PlatformContract, Implementations);

TYPED_TEST(PlatformContract, WritesWholeAndAFailedWriteLeavesThePrevious) {
  TypeParam s(World{});
  const FileURL url = s.workDirectory().appendingPathComponent("tool-request.json");
  EXPECT_FALSE(s.platform().readWholeFile(url).has_value());
  static constexpr char kBytes[] = "{\"a\":\"Caf\xC3\xA9\"}\0tail";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  ASSERT_TRUE(s.platform().writeFileAtomically(url, bytes));
  const std::optional<std::string> read = s.platform().readWholeFile(url);
  EXPECT_EQ(read, bytes);
  EXPECT_TRUE(read && read->capacity() >= bytes.size() + kReadPadding) << "no room to parse in place";

  s.breakWrites(true);
  const bool written = s.platform().writeFileAtomically(url, "{\"next\":2, \"longer\":true}");
  s.breakWrites(false);
  EXPECT_FALSE(written);
  EXPECT_EQ(s.platform().readWholeFile(url), bytes);
  ASSERT_TRUE(s.platform().writeFileAtomically(url, "S"));
  EXPECT_EQ(s.platform().readWholeFile(url), "S");
}

TYPED_TEST(PlatformContract, ContainerOnlyForKnownGroupAndWritable) {
  TypeParam s(World{{}, {kGroup}});
  EXPECT_FALSE(s.platform().containerURLForSecurityApplicationGroupIdentifier("no.such.group").has_value());
  const std::optional<FileURL> container = s.platform().containerURLForSecurityApplicationGroupIdentifier(kGroup);
  ASSERT_TRUE(container.has_value());
  EXPECT_TRUE(container->hasDirectoryPath());
  EXPECT_TRUE(s.platform().writeFileAtomically(container->appendingPathComponent("tool-request.json"), "{}"));
}

TYPED_TEST(PlatformContract, RunningApplicationsMatchExactly) {
  // An empty identifier registered by mistake still matches nothing.
  TypeParam s(World{{"com.ferlo.Ferlo", "com.ferlo.Ferlo", "com.ferlo.FerloHelper", ""}, {}});
  EXPECT_EQ(s.platform().runningApplicationsWithBundleIdentifier("com.ferlo.Ferlo"), 2u);
  EXPECT_EQ(s.platform().runningApplicationsWithBundleIdentifier("com.ferlo.ferlo"), 0u);
  EXPECT_EQ(s.platform().runningApplicationsWithBundleIdentifier("com.ferlo"), 0u);
  EXPECT_EQ(s.platform().runningApplicationsWithBundleIdentifier(""), 0u);
}

}  // namespace
}  // namespace ferlo
