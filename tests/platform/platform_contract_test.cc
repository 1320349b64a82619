// What the extension may rely on of any platform: run against the in-memory
// fake and the POSIX stand-in alike, so that tests written against the fake
// say something about the real thing.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_platform.h"
#include "platform/stand_in/posix_platform.h"
#include "tests/support/files.h"

namespace ferlo {
namespace {

using testing::TempDir;

const std::string kGroup = "K7Q2M9X4RB.com.ferlo.Ferlo";
// An empty identifier registered by mistake must still match nothing.
const std::multiset<std::string, std::less<>> kRunning = {"com.ferlo.Ferlo", "com.ferlo.Ferlo", "com.ferlo.FerloHelper", ""};

struct FakeSubject {
  FakeSubject() {
    platform.runningBundleIdentifiers = kRunning, platform.containers.emplace(kGroup, FileURL::fileURLWithPath("/c/" + kGroup, true));
  }
  // While broken, every write fails for a reason of the platform's own.
  void breakWrites(bool broken) { platform.failWrites = broken; }
  FakePlatform platform;
};

// Breaks writes with RLIMIT_FSIZE, which stops root as well as anyone else.
struct PosixSubject {
  PosixSubject() { ::getrlimit(RLIMIT_FSIZE, &saved); }
  ~PosixSubject() { breakWrites(false); }
  void breakWrites(bool broken) {
    const rlimit limit{broken ? 1 : saved.rlim_cur, saved.rlim_max};
    ::signal(SIGXFSZ, broken ? SIG_IGN : SIG_DFL), ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  rlimit saved{};
  TempDir containers;
  PosixPlatform platform{[this] {
    PosixPlatformConfig config;
    config.groupContainersRoot = containers.path();
    config.runningBundleIdentifiers = kRunning;
    ::mkdir((containers / kGroup).c_str(), 0755);
    return config;
  }()};
};

template <class Subject>
struct PlatformContract : ::testing::Test { Subject s; };

using Implementations = ::testing::Types<FakeSubject, PosixSubject>;
TYPED_TEST_SUITE(PlatformContract, Implementations);

// Only a known group has a container, a directory to write in.
TYPED_TEST(PlatformContract, ContainerTakesWholeFilesAndAFailedWriteLeavesThePrevious) {
  auto& platform = this->s.platform;
  EXPECT_FALSE(platform.containerURLForSecurityApplicationGroupIdentifier("no.such.group").has_value());
  const std::optional<FileURL> container = platform.containerURLForSecurityApplicationGroupIdentifier(kGroup);
  ASSERT_TRUE(container && container->hasDirectoryPath());
  const FileURL url = container->appendingPathComponent("tool-request.json");
  EXPECT_FALSE(platform.readWholeFile(url).has_value());
  const std::string bytes("{\"a\":\"Caf\xC3\xA9\"}\0tail", 18);
  ASSERT_TRUE(platform.writeFileAtomically(url, bytes));
  const std::optional<std::string> read = platform.readWholeFile(url);
  EXPECT_EQ(read, bytes);
  EXPECT_TRUE(read && read->capacity() >= bytes.size() + kReadPadding) << "no room to parse in place";
  this->s.breakWrites(true);
  const bool written = platform.writeFileAtomically(url, "{\"next\":2, \"longer\":true}");
  this->s.breakWrites(false);
  EXPECT_FALSE(written);
  EXPECT_EQ(platform.readWholeFile(url), bytes);
  ASSERT_TRUE(platform.writeFileAtomically(url, "S"));
  EXPECT_EQ(platform.readWholeFile(url), "S");
}

TYPED_TEST(PlatformContract, RunningApplicationsMatchExactly) {
  for (const auto& [identifier, count] : {std::pair<std::string, std::size_t>{"com.ferlo.Ferlo", 2},
                                          {"com.ferlo.ferlo", 0}, {"com.ferlo", 0}, {"", 0}}) {
    EXPECT_EQ(this->s.platform.runningApplicationsWithBundleIdentifier(identifier), count) << identifier;
  }
}

}  // namespace
}  // namespace ferlo
