// The request write through the whole extension, with one system call of the
// atomic replace broken at a time: whatever fails, the host's previous
// "tool-request.json" is the same file byte for byte, nothing of the attempt
// is left in the container, and the command still hands off exactly once.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

struct FaultCase {
  const char* name;
  Fault fault;
};

const FaultCase kFaults[] = {
    // The same set-up without a fault writes the request: the rows below
    // fail for their fault, not for the set-up.
    {"NoFault", {Step::none}},
    {"CreateTempDenied", {Step::createFile, EACCES}},
    {"CreateTempNoSpace", {Step::createFile, ENOSPC}},
    // Part of the bytes, then a disk that is full.
    {"ShortWriteThenNoSpace", {Step::write, ENOSPC, 1, 5}},
    {"WriteNoSpace", {Step::write, ENOSPC}},
    {"WriteQuotaExceeded", {Step::write, EDQUOT}},
    {"FileSyncFails", {Step::syncFile, EIO}},
    {"CloseFails", {Step::close, EIO}},
    {"RenameFails", {Step::rename, EIO}},
    {"DirectorySyncFails", {Step::syncDirectory, EIO}},
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

constexpr const char* kFlattenRequest = R"({"action":"flattenFolder","folders":["\/home\/user\/One"]})";

class CommandWriteFaultTest : public ::testing::TestWithParam<std::tuple<FaultCase, CommandCase>> {};

TEST_P(CommandWriteFaultTest, PreviousRequestStaysAndHandOffHappensOnce) {
  const auto& [fault, command] = GetParam();
  const bool control = fault.fault.step == Step::none;
  Container container;
  putFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  const std::string previous = R"({"action":"flattenFolder","folders":["\/previous"]})";
  putFile(container / kRequestName, previous);
  const ino_t previousInode = inodeOf(container / kRequestName);

  BreakOneStep calls(fault.fault);
  Extension<InjectingPlatform> extension(healthyConfig(container, selection()), calls);
  extension.finderSync.perform(command.selector, command.sender);

  EXPECT_EQ(calls.hits() > 0, !control) << "the fault was never injected";
  EXPECT_EQ(fileBytes(container / kRequestName), control ? command.expectedRequest : previous);
  EXPECT_TRUE(control || inodeOf(container / kRequestName) == previousInode) << "not the same file";
  EXPECT_EQ(namesIn(container.path()), (std::set<std::string>{kRequestName, kRulesName}))
      << "something of the attempt was left behind";
  const auto opens = extension.platform.opens();
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].url, FileURL::fileURLWithPath("/Applications/Host.app", true));
  EXPECT_TRUE(opens[0].activates);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandWriteFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::ValuesIn(kCommands)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// A symbolic link to a file outside the container, planted where the writer
// is about to create its temporary file (an attacker winning the race for
// the name) or at "tool-request.json" itself. The create never follows a
// link: the writer takes another name, or, when every name it tries is
// taken, fails with the previous request in place. The rename replaces a
// link at the request's name instead of writing through it. Either way the
// file outside is untouched and the hand-off happens once.
class PlantingCalls : public FileCalls {
 public:
  PlantingCalls(std::string outside, int plantings) : outside_(std::move(outside)), plantings_(plantings) {}
  int createFile(int dirFd, const char* name) override {
    if (static_cast<int>(links.size()) < plantings_ && ::symlinkat(outside_.c_str(), dirFd, name) == 0) {
      links.insert(name);
    }
    return FileCalls::createFile(dirFd, name);
  }
  std::set<std::string> links;

 private:
  std::string outside_;
  int plantings_;
};

struct PlantCase {
  const char* name;
  int tempLinks;     // how many temporary names get a link planted
  bool requestLink;  // whether "tool-request.json" is a link instead of the previous request
  bool written;
};

class PlantedLinkTest : public ::testing::TestWithParam<PlantCase> {};

TEST_P(PlantedLinkTest, NoLinkIsFollowed) {
  Container container;
  TempDir elsewhere;
  putFile(elsewhere / "precious", "precious bytes");
  if (GetParam().requestLink) {
    ASSERT_EQ(::symlink((elsewhere / "precious").c_str(), (container / kRequestName).c_str()), 0);
  } else {
    putFile(container / kRequestName, "previous");
  }
  PlantingCalls calls(elsewhere / "precious", GetParam().tempLinks);
  Extension<InjectingPlatform> extension(healthyConfig(container, selection()), calls);
  extension.finderSync.perform(Selector::runFlatten, Sender{});

  EXPECT_EQ(fileBytes(elsewhere / "precious"), "precious bytes");
  struct stat info {};
  EXPECT_TRUE(::lstat((container / kRequestName).c_str(), &info) == 0 && S_ISREG(info.st_mode)) << "a link is in place";
  EXPECT_EQ(fileBytes(container / kRequestName), GetParam().written ? kFlattenRequest : "previous");
  std::set<std::string> expected = calls.links;  // someone else's links are not ours to remove
  expected.insert(kRequestName);
  EXPECT_EQ(namesIn(container.path()), expected);
  EXPECT_EQ(extension.platform.opens().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedLinkTest,
                         ::testing::Values(PlantCase{"FirstTempNameTaken", 1, false, true},
                                           PlantCase{"EveryTempNameTaken", 1000, false, false},
                                           PlantCase{"RequestNameIsALink", 0, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo::reliability
