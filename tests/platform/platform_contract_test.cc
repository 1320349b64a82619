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
  std::vector<Open> opens() override {
    std::vector<Open> out;
    for (const auto& o : fake_.opens()) out.push_back({o.url.absoluteString(), o.activates});
    return out;
  }
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
    config.resourcesDirectory = resources_.path();
    for (const auto& group : setup.groupsWithContainer) ::mkdir((containers_ / group).c_str(), 0755);
    posix_ = std::make_unique<PosixPlatform>(std::move(config));
  }
  ~PosixSubject() override { breakWrites(false); }
  Platform& platform() override { return *posix_; }
  FileURL workDirectory() override { return FileURL::fileURLWithPath(work_.path(), true); }
  void breakWrites(bool broken) override {
    if (broken == broken_) return;
    broken_ = broken;
    if (broken) {
      ::getrlimit(RLIMIT_FSIZE, &saved_);
      savedHandler_ = ::signal(SIGXFSZ, SIG_IGN);
      rlimit tight = saved_;
      tight.rlim_cur = 1;
      ::setrlimit(RLIMIT_FSIZE, &tight);
    } else {
      ::setrlimit(RLIMIT_FSIZE, &saved_);
      ::signal(SIGXFSZ, savedHandler_);
    }
  }
  std::vector<Open> opens() override {
    std::vector<Open> out;
    for (const auto& o : posix_->opens()) out.push_back({o.url.absoluteString(), o.activates});
    return out;
  }
  std::vector<FileURL> directoryURLs() override { return posix_->directoryURLs(); }

 private:
  TempDir containers_;
  TempDir resources_;
  TempDir work_;
  std::unique_ptr<PosixPlatform> posix_;
  bool broken_ = false;
  rlimit saved_{};
  sighandler_t savedHandler_ = SIG_DFL;
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

TEST_P(PlatformContract, MissingFileGivesNone) {
  auto s = make();
  EXPECT_FALSE(s->platform().readWholeFile(s->workDirectory().appendingPathComponent("absent.json")).has_value());
}

TEST_P(PlatformContract, WriteThenReadBackWithPadding) {
  auto s = make();
  auto url = s->workDirectory().appendingPathComponent("tool-request.json");
  static constexpr char kBytes[] = "{\"a\":\"Caf\xC3\xA9\"}\0tail";
  const std::string bytes(kBytes, sizeof kBytes - 1);
  ASSERT_TRUE(s->platform().writeFileAtomically(url, bytes));
  auto read = s->platform().readWholeFile(url);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, bytes);
  EXPECT_GE(read->capacity(), read->size() + kReadPadding);
}

TEST_P(PlatformContract, ShorterWriteReplacesWholeFile) {
  auto s = make();
  auto url = s->workDirectory().appendingPathComponent("tool-request.json");
  ASSERT_TRUE(s->platform().writeFileAtomically(url, std::string(4096, 'L')));
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

TEST_P(PlatformContract, ContainerOnlyForKnownGroup) {
  World world;
  world.groupsWithContainer = {"K7Q2M9X4RB.com.ferlo.Ferlo"};
  auto s = make(world);
  EXPECT_FALSE(s->platform().containerURLForSecurityApplicationGroupIdentifier("no.such.group").has_value());
  EXPECT_FALSE(s->platform().containerURLForSecurityApplicationGroupIdentifier("").has_value());
  auto container = s->platform().containerURLForSecurityApplicationGroupIdentifier("K7Q2M9X4RB.com.ferlo.Ferlo");
  ASSERT_TRUE(container.has_value());
  EXPECT_TRUE(container->hasDirectoryPath());
  // The container is a place where the request file can go.
  auto request = container->appendingPathComponent("tool-request.json");
  ASSERT_TRUE(s->platform().writeFileAtomically(request, "{}"));
  EXPECT_EQ(s->platform().readWholeFile(request), "{}");
}

TEST_P(PlatformContract, SelectionAndTargetGivenBackUnchanged) {
  std::vector<FileURL> selection = {
      FileURL::fileURLWithPath("/Users/user/Café menu.png", false),
      FileURL::fileURLWithPath("/Users/user/Old photos", true),
      *FileURL::fromString("file://localhost/Users/user/a%20b/"),
      FileURL::fileURLWithPath("/Users/user/Café menu.png", false),  // duplicates stay
  };
  auto target = *FileURL::fromString("file:///Users/user/Downloads/");
  World world;
  world.selection = selection;
  world.target = target;
  auto s = make(world);
  EXPECT_EQ(s->platform().selectedItemURLs(), selection);
  EXPECT_EQ(s->platform().targetedURL(), target);

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

TEST_P(PlatformContract, OpensRecordedInOrder) {
  auto s = make();
  auto host = FileURL::fileURLWithPath("/a/H.app", true);
  auto other = FileURL::fileURLWithPath("/b/O.app", true);
  s->platform().openApplicationAtURL(host, true);
  s->platform().openApplicationAtURL(other, false);
  s->platform().openApplicationAtURL(host, true);
  std::vector<Open> expected = {{"file:///a/H.app/", true}, {"file:///b/O.app/", false}, {"file:///a/H.app/", true}};
  EXPECT_EQ(s->opens(), expected);
}

TEST_P(PlatformContract, OpensFromManyThreadsAreAllRecorded) {
  auto s = make();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) s->platform().openApplicationAtURL(FileURL::fileURLWithPath("/a/H.app", true), t % 2);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(s->opens().size(), 800u);
}

TEST_P(PlatformContract, DirectoryURLsReplaced) {
  auto s = make();
  s->platform().setDirectoryURLs({FileURL::fileURLWithPath("/a", true), FileURL::fileURLWithPath("/b", true)});
  s->platform().setDirectoryURLs({FileURL::fileURLWithPath("/Users/user", true)});
  EXPECT_EQ(s->directoryURLs(), std::vector<FileURL>{FileURL::fileURLWithPath("/Users/user", true)});
}

TEST_P(PlatformContract, MissingLocalisationKeyStandsForItself) {
  auto s = make();
  EXPECT_EQ(s->platform().localizedString("finder.no.such.key"), "finder.no.such.key");
}

INSTANTIATE_TEST_SUITE_P(Both, PlatformContract, ::testing::ValuesIn(kImplementations),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo
