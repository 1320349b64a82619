// The request write through the whole extension, with one system call of the
// atomic replace broken at a time, or with an attacker's symbolic link to a
// file outside the container planted where the writer is about to create its
// temporary file (winning the race for the name) or at "tool-request.json"
// itself. Whatever fails, the host's previous request file is the same file
// byte for byte and nothing of the attempt is left in the container; no link
// is ever followed; and the command still hands off exactly once.
#include <sys/stat.h>

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
  int tempLinks = 0;          // how many temporary names get a link planted
  bool requestLink = false;  // whether "tool-request.json" is a link instead of the previous request
};

const FaultCase kFaults[] = {
    // The same set-up without a fault writes the request: the rows below
    // fail for their fault, not for the set-up. The extension sees only
    // whether the write succeeded, so one failure before the rename (part of
    // the bytes, then a full disk) and the one after it (the previous file
    // put back) stand for every step, which the file layer's table breaks.
    {"NoFault", {Step::none}}, {"ShortWriteThenNoSpace", {Step::write, ENOSPC, 1, 5}},
    {"DirectorySyncFails", {Step::syncDirectory, EIO}},
    // The create never follows a link: the writer takes another name, or,
    // when every name it tries is taken, fails with the previous request in
    // place. The rename replaces a link at the request's name instead of
    // writing through it.
    {"FirstTempNameTaken", {Step::none}, 1}, {"EveryTempNameTaken", {Step::none}, 1000},
    {"RequestNameIsALink", {Step::none}, 0, true},
};

// The real calls with one step broken, and links planted at the first
// `plantings` names the writer creates.
struct HostileCalls : BreakOneStep {
  HostileCalls(const FaultCase& fault, std::string outside)
      : BreakOneStep(fault.fault), outside(std::move(outside)), plantings(fault.tempLinks) {}
  int createFile(int dirFd, const char* name) override {
    if (static_cast<int>(links.size()) < plantings && ::symlinkat(outside.c_str(), dirFd, name) == 0) links.insert(name);
    return BreakOneStep::createFile(dirFd, name);
  }
  std::set<std::string> links;
  std::string outside;
  int plantings;
};

class CommandWriteFaultTest : public ::testing::TestWithParam<std::tuple<FaultCase, CommandCase>> {};

TEST_P(CommandWriteFaultTest, PreviousRequestStaysNoLinkIsFollowedAndHandOffHappensOnce) {
  const auto& [fault, command] = GetParam();
  const bool written = fault.fault.step == Step::none && fault.tempLinks < 1000;
  Container container;
  TempDir elsewhere;
  writeFile(elsewhere / "precious", "precious bytes");
  writeFile(container / kRulesName, manifestText(1, {"/home/user/w"}));
  const std::string previous = R"({"action":"flattenFolder","folders":["\/previous"]})";
  if (!fault.requestLink) writeFile(container / kRequestName, previous);
  else ASSERT_EQ(::symlink((elsewhere / "precious").c_str(), (container / kRequestName).c_str()), 0);
  const ino_t previousInode = inodeOf(container / kRequestName);

  HostileCalls calls(fault, elsewhere / "precious");
  Extension<InjectingPlatform> extension(container.config(selection()), calls);
  extension.finderSync.perform(command.selector, command.sender);

  EXPECT_EQ(calls.hits() > 0, fault.fault.step != Step::none) << "the fault was never injected";
  EXPECT_EQ(fileBytes(container / kRequestName), written ? command.expectedRequest : previous);
  EXPECT_TRUE(written || inodeOf(container / kRequestName) == previousInode) << "not the same file";
  struct stat info {};
  EXPECT_TRUE(::lstat((container / kRequestName).c_str(), &info) == 0 && S_ISREG(info.st_mode)) << "a link is in place";
  EXPECT_EQ(fileBytes(elsewhere / "precious"), "precious bytes");
  std::set<std::string> expected = calls.links;  // someone else's links are not ours to remove
  expected.insert({kRequestName, kRulesName});
  EXPECT_EQ(namesIn(container.path()), expected) << "something of the attempt was left behind";
  const auto opens = extension.platform.opens();
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_TRUE(opens[0].url == FileURL::fileURLWithPath("/Applications/Host.app", true) && opens[0].activates);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandWriteFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::ValuesIn(kCommands)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name; });

}  // namespace
}  // namespace ferlo::reliability
