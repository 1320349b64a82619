#include "platform/files/file_io.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

using namespace ferlo::testing;
using namespace std::literals;

constexpr const char* kName = "tool-request.json";

TEST(ReadRegularFile, ReadsOnlyRegularFilesWhole) {
  TempDir d;
  std::string large;
  for (int i = 0; large.size() < (3u << 20) + 17; ++i) large += std::to_string(i) + ',';
  const std::string binary("a\0b\xff", 4);
  for (const auto& [name, bytes] : {std::pair{"empty", ""s}, {"binary", binary}, {"large", large}}) writeFile(d / name, bytes);
  ::mkfifo((d / "fifo").c_str(), 0644);  // refused without waiting for a writer
  ::symlink("/dev/zero", (d / "zero").c_str());
  ::symlink((d / "binary").c_str(), (d / "link").c_str());
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"missing", std::nullopt}, {"", std::nullopt}, {"fifo", std::nullopt}, {"zero", std::nullopt}, {"empty", ""},
      {"binary", binary}, {"link", binary}, {"large", large}};
  for (const auto& [name, expected] : cases) {
    const Decoded<std::string> bytes = readRegularFile(d / name);
    EXPECT_EQ(bytes.value, expected) << name;
    EXPECT_TRUE(!bytes || bytes->capacity() >= bytes->size() + kReadPadding) << "no room to parse in place";
  }
}

// (Readers racing writers: tests/reliability.)
TEST(WriteFileAtomically, RefusedPlacesAndNamesLeaveNothing) {
  TempDir dir;
  writeFile(dir / "plain", "file, not a directory");
  ::mkdir((dir / "sub").c_str(), 0755);
  EXPECT_FALSE(writeFileAtomically(dir / "absent", kName, "x") || writeFileAtomically(dir / "plain", kName, "x"));
  for (std::string_view name : {""sv, "."sv, ".."sv, "sub/x"sv, "a\0b"sv}) EXPECT_FALSE(writeFileAtomically(dir.path(), name, "x"));
  ASSERT_EQ(::mkdir((dir / kName).c_str(), 0755), 0);  // a directory at the final name stays
  EXPECT_FALSE(writeFileAtomically(dir.path(), kName, "x"));
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"plain", "sub", kName}));
  // A name so long that its temporary name would pass NAME_MAX uncut.
  const std::string longName(240, 'n');
  ASSERT_TRUE(writeFileAtomically(dir / "sub", longName, "x"));
  EXPECT_EQ(namesIn(dir / "sub"), std::set<std::string>{longName});
}

// ---- writeFileAtomically: one broken step at a time ----

struct FaultCase { const char* name; Fault fault; bool succeeds; };

const FaultCase kFaultCases[] = {
    {"OpenDirectoryDenied", {Step::openDirectory, EACCES}, false}, {"CreateTempDenied", {Step::createFile, EACCES}, false},
    {"CreateTempNameAlwaysTaken", {Step::createFile, EEXIST, 1000}, false},
    {"CreateTempNameTakenOnce", {Step::createFile, EEXIST, 1}, true}, {"WriteNoSpace", {Step::write, ENOSPC}, false},
    {"ShortWriteThenNoSpace", {Step::write, ENOSPC, 1, 7}, false},
    {"WriteMakesNoProgress", {Step::write, 0, 1, 0, true}, false}, {"WriteInterrupted", {Step::write, EINTR, 3}, true},
    {"ShortWriteThenRest", {Step::write, EINTR, 0, 5}, true}, {"FileSyncFails", {Step::syncFile, EIO}, false},
    {"FileSyncInterrupted", {Step::syncFile, EINTR}, true}, {"CloseFails", {Step::close, EIO}, false},
    {"CloseInterruptedAfterSync", {Step::close, EINTR}, true}, {"NoHardLinks", {Step::link, EPERM}, true},
    {"RenameFails", {Step::rename, EXDEV}, false}, {"DirectorySyncFails", {Step::syncDirectory, EIO}, false},
    {"DirectorySyncInterrupted", {Step::syncDirectory, EINTR}, true},
    // Without hard links the rename cannot be undone; the file in place is
    // the new one, and that is what the result says.
    {"DirectorySyncFailsWithoutHardLinks", {Step::syncDirectory, EIO, 1, 0, false, true}, true},
};

class WriteFaultTest : public ::testing::TestWithParam<std::tuple<FaultCase, bool>> {};

// A failure keeps the previous file (the same inode) and leaves no temporary.
TEST_P(WriteFaultTest, FailureLeavesPreviousAndNoTemporary) {
  const auto& [c, hasPrevious] = GetParam();
  TempDir dir;
  const std::string previous = "{\"previous\":true}", bytes = "{\"action\":\"flattenFolder\",\"folders\":[\"\\/x\"]}";
  if (hasPrevious) writeFile(dir / kName, previous);
  const ino_t previousInode = hasPrevious ? inodeOf(dir / kName) : 0;
  BreakOneStep calls(c.fault);
  std::string whyNot;
  EXPECT_EQ(writeFileAtomically(dir.path(), kName, bytes, calls, &whyNot), c.succeeds);
  // The failed step's reason, not a clean-up call's; no progress counts as EIO.
  EXPECT_EQ(whyNot, c.succeeds ? "" : std::strerror(c.fault.returnZero ? EIO : c.fault.error));
  EXPECT_GE(calls.hits(), 1) << "the fault was never injected";
  EXPECT_EQ(fileBytes(dir / kName), c.succeeds ? bytes : hasPrevious ? std::optional(previous) : std::nullopt);
  EXPECT_TRUE(c.succeeds || !hasPrevious || inodeOf(dir / kName) == previousInode) << "not the same file";
  EXPECT_EQ(namesIn(dir.path()), c.succeeds || hasPrevious ? std::set<std::string>{kName} : std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, WriteFaultTest, ::testing::Combine(::testing::ValuesIn(kFaultCases), ::testing::Bool()),
                         [](const auto& i) { return std::get<0>(i.param).name + std::string(std::get<1>(i.param) ? "_Replacing" : "_Fresh"); });

TEST(StaleTemporaryFiles, WriteRemovesOnlyOldLeftoversOfDeadWriters) {
  TempDir dir;
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  // A leftover name for a write of `file` by `pid`, aged an hour unless `young`.
  const auto leftover = [&](std::string file, long pid, std::string hex, std::string suffix = ".tmp", bool young = false) {
    const std::string name = "." + file + "." + std::to_string(pid) + "." + hex + suffix;
    writeFile(dir / name, "x");
    const timespec times[2] = {{::time(nullptr) - (young ? 0 : 3600), 0}, {::time(nullptr) - (young ? 0 : 3600), 0}};
    ::utimensat(AT_FDCWD, (dir / name).c_str(), times, AT_SYMLINK_NOFOLLOW);
    return name;
  };
  const std::string hex = "0123456789abcdef";
  leftover(kName, dead, hex), leftover(kName, dead, "fedcba9876543210", ".old");
  // Kept: pid 1 lives; another file's; not our hex; 15 digits; another
  // suffix; young (its writer may only just have died).
  const std::set<std::string> kept = {
      kName, leftover(kName, 1, hex), leftover("rules.json", dead, hex), leftover(kName, dead, "0123456789ABCDEF"),
      leftover(kName, dead, "0123456789abcde"), leftover(kName, dead, hex, ".tmp.bak"),
      leftover(kName, dead, "00000000000000aa", ".tmp", true)};
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "new"));
  EXPECT_EQ(namesIn(dir.path()), kept);
}

}  // namespace
}  // namespace ferlo
