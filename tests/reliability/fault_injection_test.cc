// The request write through the whole extension, with one system call of the
// atomic replace broken at a time: whatever fails, the host's previous
// "tool-request.json" is the same file byte for byte, nothing of the attempt
// is left in the container, and the command still hands off exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <set>
#include <string>

#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

using testing::fileBytes;
using testing::inodeOf;
using testing::namesIn;
using testing::putFile;

enum class Step { none, createFile, shortWrite, write, syncFile, close, rename, syncDirectory };

// Forwards every call to the real one but breaks the first call of one step.
// A short write passes part of the bytes through, then the next write fails
// with ENOSPC, as a disk that fills up mid-file does.
class BreakOneStep : public FileCalls {
 public:
  BreakOneStep(Step step, int error) : step_(step), error_(error) {}
  [[nodiscard]] int hits() const { return hits_; }

  int createFile(int dirFd, const char* name) override {
    return breaks(Step::createFile) ? fail() : FileCalls::createFile(dirFd, name);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (step_ == Step::shortWrite) {
      if (++writes_ == 1) {
        ++hits_;
        return FileCalls::write(fd, data, std::min<size_t>(size, 5));
      }
      errno = ENOSPC;
      return -1;
    }
    return breaks(Step::write) ? fail() : FileCalls::write(fd, data, size);
  }
  int syncFile(int fd) override { return breaks(Step::syncFile) ? fail() : FileCalls::syncFile(fd); }
  int close(int fd) override {
    if (!breaks(Step::close)) return FileCalls::close(fd);
    (void)FileCalls::close(fd);  // the descriptor is gone even when close reports an error
    return fail();
  }
  int rename(int dirFd, const char* from, const char* to) override {
    return breaks(Step::rename) ? fail() : FileCalls::rename(dirFd, from, to);
  }
  int syncDirectory(int dirFd) override {
    return breaks(Step::syncDirectory) ? fail() : FileCalls::syncDirectory(dirFd);
  }

 private:
  bool breaks(Step step) {
    if (step != step_ || hits_ > 0) return false;
    ++hits_;
    return true;
  }
  int fail() {
    errno = error_;
    return -1;
  }
  Step step_;
  int error_;
  int hits_ = 0;
  int writes_ = 0;
};

struct FaultCase {
  const char* name;
  Step step;
  int error;
};

const FaultCase kFaults[] = {
    {"CreateTempDenied", Step::createFile, EACCES},
    {"CreateTempNoSpace", Step::createFile, ENOSPC},
    {"ShortWriteThenNoSpace", Step::shortWrite, ENOSPC},
    {"WriteNoSpace", Step::write, ENOSPC},
    {"WriteQuotaExceeded", Step::write, EDQUOT},
    {"FileSyncFails", Step::syncFile, EIO},
    {"CloseFails", Step::close, EIO},
    {"RenameFails", Step::rename, EIO},
    {"DirectorySyncFails", Step::syncDirectory, EIO},
};

struct CommandCase {
  const char* name;
  Selector selector;
  Sender sender;
  const char* expectedRequest;  // what a write that goes through puts in place
};

const CommandCase kCommands[] = {
    {"RunRule", Selector::runRule, Sender::withString(kRuleId),
     R"({"action":"runRule","folders":["\/home\/user\/One"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})"},
    {"Flatten", Selector::runFlatten, Sender{}, R"({"action":"flattenFolder","folders":["\/home\/user\/One"]})"},
    {"Merge", Selector::runMergeSelected, Sender{},
     R"({"action":"mergeFolders","folders":["\/home\/user\/One","\/home\/user\/Two"]})"},
    {"Expiry", Selector::setExpiry, Sender::withTag(7),
     R"({"action":"expireFiles","folders":[],"files":["\/home\/user\/w\/a.txt"],"days":7})"},
};

std::vector<FileURL> selection() {
  return {FileURL::fileURLWithPath("/home/user/One", true), FileURL::fileURLWithPath("/home/user/Two", true),
          FileURL::fileURLWithPath("/home/user/w/a.txt", false)};
}

class CommandWriteFaultTest : public ::testing::TestWithParam<std::tuple<FaultCase, CommandCase>> {};

TEST_P(CommandWriteFaultTest, PreviousRequestStaysAndHandOffHappensOnce) {
  const auto& [fault, command] = GetParam();
  Container container;
  putFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  const std::string previous = R"({"action":"flattenFolder","folders":["\/previous"]})";
  putFile(container / kRequestName, previous);
  const ino_t previousInode = inodeOf(container / kRequestName);
  const std::set<std::string> namesBefore = namesIn(container.path());

  PosixPlatform posix(healthyConfig(container, selection()));
  BreakOneStep calls(fault.step, fault.error);
  InjectingPlatform platform(posix, calls);
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  finderSync.perform(command.selector, command.sender);

  EXPECT_EQ(calls.hits(), 1) << "the fault was never injected";
  EXPECT_EQ(fileBytes(container / kRequestName), previous);
  EXPECT_EQ(inodeOf(container / kRequestName), previousInode) << "not the same file";
  EXPECT_EQ(namesIn(container.path()), namesBefore) << "something of the attempt was left behind";
  ASSERT_EQ(posix.opens().size(), 1u);
  EXPECT_EQ(posix.opens()[0].url, FileURL::fileURLWithPath("/Applications/Host.app", true));
  EXPECT_TRUE(posix.opens()[0].activates);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandWriteFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::ValuesIn(kCommands)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// The same set-up without a fault writes the request: the table above fails
// for the fault, not for the set-up.
class CommandWriteTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandWriteTest, WithoutFaultTheRequestIsInPlace) {
  Container container;
  putFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  putFile(container / kRequestName, "previous");
  PosixPlatform posix(healthyConfig(container, selection()));
  BreakOneStep calls(Step::none, 0);
  InjectingPlatform platform(posix, calls);
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  finderSync.perform(GetParam().selector, GetParam().sender);

  EXPECT_EQ(fileBytes(container / kRequestName), GetParam().expectedRequest);
  EXPECT_EQ(namesIn(container.path()), (std::set<std::string>{kRequestName, kRulesName}));
  EXPECT_EQ(posix.opens().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandWriteTest, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// A symbolic link planted where the writer is about to create its temporary
// file (an attacker winning the race for the name): the create never follows
// it; the writer takes another name, or, when every name it tries is taken,
// fails with the previous request in place. Either way the link's target
// outside the container is untouched and the hand-off happens once.
class PlantingCalls : public FileCalls {
 public:
  PlantingCalls(std::string outside, int plantings) : outside_(std::move(outside)), plantings_(plantings) {}
  int createFile(int dirFd, const char* name) override {
    if (planted_ < plantings_) {
      ++planted_;
      (void)::symlinkat(outside_.c_str(), dirFd, name);
      links_.insert(name);
    }
    return FileCalls::createFile(dirFd, name);
  }
  std::set<std::string> links_;

 private:
  std::string outside_;
  int plantings_;
  int planted_ = 0;
};

struct PlantCase {
  const char* name;
  int plantings;
  bool written;
};

class PlantedTempLinkTest : public ::testing::TestWithParam<PlantCase> {};

TEST_P(PlantedTempLinkTest, CreateNeverFollowsALink) {
  Container container;
  testing::TempDir elsewhere;
  const std::string outside = elsewhere / "precious";
  putFile(outside, "precious bytes");
  putFile(container / kRequestName, "previous");

  PosixPlatform posix(healthyConfig(container, selection()));
  PlantingCalls calls(outside, GetParam().plantings);
  InjectingPlatform platform(posix, calls);
  ExtensionContext context(platform);
  FinderSync finderSync(context);
  finderSync.perform(Selector::runFlatten, Sender{});

  EXPECT_EQ(fileBytes(outside), "precious bytes");
  EXPECT_EQ(fileBytes(container / kRequestName),
            GetParam().written ? R"({"action":"flattenFolder","folders":["\/home\/user\/One"]})" : "previous");
  std::set<std::string> expected = calls.links_;  // someone else's links are not ours to remove
  expected.insert(kRequestName);
  EXPECT_EQ(namesIn(container.path()), expected);
  EXPECT_EQ(posix.opens().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedTempLinkTest,
                         ::testing::Values(PlantCase{"FirstNameTaken", 1, true},
                                           PlantCase{"EveryNameTaken", 1000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A symbolic link planted at "tool-request.json" itself, pointing outside the
// container: the write replaces the link and never writes through it.
TEST(PlantedRequestLink, WriteReplacesTheLinkInsteadOfFollowingIt) {
  Container container;
  testing::TempDir elsewhere;
  const std::string outside = elsewhere / "precious";
  putFile(outside, "precious bytes");
  ASSERT_EQ(::symlink(outside.c_str(), (container / kRequestName).c_str()), 0);

  PosixPlatform posix(healthyConfig(container, selection()));
  ExtensionContext context(posix);
  FinderSync finderSync(context);
  finderSync.perform(Selector::runFlatten, Sender{});

  EXPECT_EQ(fileBytes(outside), "precious bytes");
  struct stat info {};
  ASSERT_EQ(::lstat((container / kRequestName).c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode)) << "the link is still there";
  EXPECT_EQ(fileBytes(container / kRequestName), R"({"action":"flattenFolder","folders":["\/home\/user\/One"]})");
  EXPECT_EQ(posix.opens().size(), 1u);
}

}  // namespace
}  // namespace ferlo::reliability
