// What the extension may rely on of any platform: run against the in-memory
// fake and the POSIX stand-in alike, so that tests written against the fake
// say something about the real thing.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

using testing::TempDir;

struct World {
  std::optional<std::vector<FileURL>> selection;
  std::optional<FileURL> target;
  std::multiset<std::string, std::less<>> running;
  std::vector<std::string> groupsWithContainer;
};

struct Open {
  std::string url;
  bool activates;
  friend bool operator==(const Open&, const Open&) = default;
};

template <typename Records>
std::vector<Open> openTexts(const Records& records) {
  std::vector<Open> out;
  for (const auto& o : records) out.push_back({o.url.absoluteString(), o.activates});
  return out;
}

class Subject {
 public:
  virtual ~Subject() = default;
  virtual Platform& platform() = 0;
  // A directory in which files can be written and read back.
  virtual FileURL workDirectory() = 0;
  // While broken, every write fails for a reason of the platform's own.
  virtual void breakWrites(bool broken) = 0;
  virtual std::vector<Open> opens() = 0;
  virtual std::vector<FileURL> directoryURLs() = 0;
};

class FakeSubject : public Subject {
 public:
  explicit FakeSubject(const World& setup) {
    fake_.selection = setup.selection;
    fake_.target = setup.target;
    fake_.runningBundleIdentifiers = setup.running;
    for (const auto& group : setup.groupsWithContainer) {
      fake_.containers.emplace(group, FileURL::fileURLWithPath("/containers/" + group, true));
    }
  }
  Platform& platform() override { return fake_; }
  FileURL workDirectory() override { return FileURL::fileURLWithPath("/work", true); }
  void breakWrites(bool broken) override { fake_.failWrites = broken; }
  std::vector<Open> opens() override { return openTexts(fake_.opens()); }
  std::vector<FileURL> directoryURLs() override { return fake_.directoryURLs(); }

 private:
  FakePlatform fake_;
};

// Breaks writes with RLIMIT_FSIZE, which stops root as well as anyone else.
class PosixSubject : public Subject {
 public:
  explicit PosixSubject(const World& setup) {
    PosixPlatformConfig config;
    config.groupContainersRoot = containers_.path();
    config.selectedItemURLs = setup.selection;
    config.targetedURL = setup.target;
    config.runningBundleIdentifiers = setup.running;
    for (const auto& group : setup.groupsWithContainer) ::mkdir((containers_ / group).c_str(), 0755);
    posix_ = std::make_unique<PosixPlatform>(std::move(config));
  }
  ~PosixSubject() override { breakWrites(false); }
  Platform& platform() override { return *posix_; }
  FileURL workDirectory() override { return FileURL::fileURLWithPath(work_.path(), true); }
  void breakWrites(bool broken) override {
    if (broken == broken_) return;
    broken_ = broken;
    static rlimit saved{};
    if (broken) ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    if (broken) limit.rlim_cur = 1;
    ::signal(SIGXFSZ, broken ? SIG_IGN : SIG_DFL);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  std::vector<Open> opens() override { return openTexts(posix_->opens()); }
  std::vector<FileURL> directoryURLs() override { return posix_->directoryURLs(); }

 private:
  TempDir containers_, work_;
  std::unique_ptr<PosixPlatform> posix_;
  bool broken_ = false;
};

struct Implementation {
  const char* name;
  std::function<std::unique_ptr<Subject>(const World&)> make;
};

void PrintTo(const Implementation& i, std::ostream* os) { *os << i.name; }

const Implementation kImplementations[] = {
    {"Fake", [](const World& s) -> std::unique_ptr<Subject> { return std::make_unique<FakeSubject>(s); }},
    {"Posix", [](const World& s) -> std::unique_ptr<Subject> { return std::make_unique<PosixSubject>(s); }},
};

class PlatformContract : public ::testing::TestWithParam<Implementation> {
 protected:
  std::unique_ptr<Subject> make(const World& setup = {}) { return GetParam().make(setup); }
};

TEST_P(PlatformContract, WriteReadBackAndReplaceWhole) {
  auto s = make();
  auto url = s->workDirectory().appendingPathComponent("tool-request.json");
  EXPECT_FALSE(s->platform().readWholeFile(url).has_value());
  static constexpr char kBytes[] = "{\"a\":\"Caf\xC3\xA9\"}\0tail";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  ASSERT_TRUE(s->platform().writeFileAtomically(url, bytes));
  auto read = s->platform().readWholeFile(url);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, bytes);
  EXPECT_GE(read->capacity(), read->size() + kReadPadding);
  ASSERT_TRUE(s->platform().writeFileAtomically(url, "S"));
  EXPECT_EQ(s->platform().readWholeFile(url), "S");
}

TEST_P(PlatformContract, FailedWriteLeavesPrevious) {
  auto s = make();
  auto url = s->workDirectory().appendingPathComponent("tool-request.json");
  ASSERT_TRUE(s->platform().writeFileAtomically(url, "{\"previous\":1}"));
  s->breakWrites(true);
  bool written = s->platform().writeFileAtomically(url, "{\"next\":2, \"longer\":true}");
  s->breakWrites(false);
  EXPECT_FALSE(written);
  EXPECT_EQ(s->platform().readWholeFile(url), "{\"previous\":1}");
}

TEST_P(PlatformContract, ContainerOnlyForKnownGroupAndWritable) {
  World world;
  world.groupsWithContainer = {"K7Q2M9X4RB.com.ferlo.Ferlo"};
  auto s = make(world);
  EXPECT_FALSE(s->platform().containerURLForSecurityApplicationGroupIdentifier("no.such.group").has_value());
  auto container = s->platform().containerURLForSecurityApplicationGroupIdentifier("K7Q2M9X4RB.com.ferlo.Ferlo");
  ASSERT_TRUE(container.has_value());
  EXPECT_TRUE(container->hasDirectoryPath());
  EXPECT_TRUE(s->platform().writeFileAtomically(container->appendingPathComponent("tool-request.json"), "{}"));
}

TEST_P(PlatformContract, SelectionAndTargetGivenBackUnchanged) {
  World world;
  world.selection = {FileURL::fileURLWithPath("/Users/user/Café menu.png", false),
                     *FileURL::fromString("file://localhost/Users/user/a%20b/"),
                     FileURL::fileURLWithPath("/Users/user/Café menu.png", false)};  // duplicates stay
  world.target = *FileURL::fromString("file:///Users/user/Downloads/");
  auto s = make(world);
  EXPECT_EQ(s->platform().selectedItemURLs(), world.selection);
  EXPECT_EQ(s->platform().targetedURL(), world.target);
  auto none = make();
  EXPECT_FALSE(none->platform().selectedItemURLs().has_value());
  EXPECT_FALSE(none->platform().targetedURL().has_value());
}

TEST_P(PlatformContract, RunningApplicationsMatchExactly) {
  World world;
  // An empty identifier registered by mistake still matches nothing.
  world.running = {"com.ferlo.Ferlo", "com.ferlo.Ferlo", "com.ferlo.FerloHelper", ""};
  auto s = make(world);
  EXPECT_EQ(s->platform().runningApplicationsWithBundleIdentifier("com.ferlo.Ferlo"), 2u);
  EXPECT_EQ(s->platform().runningApplicationsWithBundleIdentifier("com.ferlo.ferlo"), 0u);
  EXPECT_EQ(s->platform().runningApplicationsWithBundleIdentifier("com.ferlo"), 0u);
  EXPECT_EQ(s->platform().runningApplicationsWithBundleIdentifier(""), 0u);
}

TEST_P(PlatformContract, OpensRecordedInOrderFromManyThreads) {
  auto s = make();
  s->platform().openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), true);
  s->platform().openApplicationAtURL(FileURL::fileURLWithPath("/b/O.app", true), false);
  EXPECT_EQ(s->opens(), (std::vector<Open>{{"file:///a/H.app/", true}, {"file:///b/O.app/", false}}));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) s->platform().openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), t % 2);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(s->opens().size(), 802u);
}

TEST_P(PlatformContract, DirectoryURLsReplacedAndMissingKeyStandsForItself) {
  auto s = make();
  s->platform().setDirectoryURLs({FileURL::fileURLWithPath("/a", true), FileURL::fileURLWithPath("/b", true)});
  s->platform().setDirectoryURLs({FileURL::fileURLWithPath("/Users/user", true)});
  EXPECT_EQ(s->directoryURLs(), std::vector<FileURL>{FileURL::fileURLWithPath("/Users/user", true)});
  EXPECT_EQ(s->platform().localizedString("finder.no.such.key"), "finder.no.such.key");
}

INSTANTIATE_TEST_SUITE_P(Both, PlatformContract, ::testing::ValuesIn(kImplementations),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo
