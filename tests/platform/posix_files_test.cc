#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

using namespace ferlo::testing;

constexpr const char* kName = "tool-request.json";

// ---- readRegularFile ----

std::string largeText() {
  std::string text;
  for (int i = 0; text.size() < (3u << 20) + 17; ++i) text += std::to_string(i) + ',';
  return text;
}

TEST(ReadRegularFile, ReadsOnlyRegularFilesWhole) {
  struct Case {
    const char* name;
    std::function<std::string(const TempDir&)> make;  // makes the thing to read, gives its path
    std::optional<std::string> expected;
  };
  const auto file = [](std::string bytes, bool viaLink = false) {
    return [bytes, viaLink](const TempDir& d) {
      putFile(d / "f", bytes);
      if (viaLink) ::symlink((d / "f").c_str(), (d / "link").c_str());
      return d / (viaLink ? "link" : "f");
    };
  };
  const Case cases[] = {
      {"Missing", [](const TempDir& d) { return d / "nothing"; }, std::nullopt},
      {"Directory", [](const TempDir& d) { return d.path(); }, std::nullopt},
      // Refused without waiting for a writer.
      {"Fifo", [](const TempDir& d) { return ::mkfifo((d / "fifo").c_str(), 0644), d / "fifo"; }, std::nullopt},
      {"SymlinkToDevZero", [](const TempDir& d) { return ::symlink("/dev/zero", (d / "z").c_str()), d / "z"; },
       std::nullopt},
      {"Empty", file(""), std::string()},
      {"BinaryWithNul", file(std::string("a\0b\xff", 4)), std::string("a\0b\xff", 4)},
      {"SymlinkToRegularFile", file("{}", true), std::string("{}")},
      {"Large", file(largeText()), largeText()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::optional<std::string> bytes = readRegularFile(c.make(dir));
    EXPECT_EQ(bytes, c.expected);
    EXPECT_TRUE(!bytes || bytes->capacity() >= bytes->size() + kReadPadding) << "no room to parse in place";
  }
}

// ---- writeFileAtomically (readers racing writers: tests/reliability) ----

TEST(WriteFileAtomically, RefusedPlacesAndNamesLeaveNothing) {
  TempDir dir;
  EXPECT_FALSE(writeFileAtomically(dir / "absent", kName, "x"));
  putFile(dir / "plain", "file, not a directory");
  EXPECT_FALSE(writeFileAtomically(dir / "plain", kName, "x"));
  ::mkdir((dir / "sub").c_str(), 0755);
  for (std::string_view name : {std::string_view(""), std::string_view("."), std::string_view(".."),
                                std::string_view("sub/x"), std::string_view("a\0b", 3)}) {
    EXPECT_FALSE(writeFileAtomically(dir.path(), name, "x")) << name;
  }
  ASSERT_EQ(::mkdir((dir / kName).c_str(), 0755), 0);  // a directory at the final name stays
  EXPECT_FALSE(writeFileAtomically(dir.path(), kName, "x"));
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"plain", "sub", kName}));
  EXPECT_TRUE(namesIn(dir / "sub").empty());
  // A name so long that its temporary name would pass NAME_MAX uncut.
  const std::string longName(240, 'n');
  ASSERT_TRUE(writeFileAtomically(dir / "sub", longName, "x"));
  EXPECT_EQ(namesIn(dir / "sub"), std::set<std::string>{longName});
}

// ---- writeFileAtomically: one broken step at a time ----

struct FaultCase {
  const char* name;
  Fault fault;
  bool succeeds;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

const FaultCase kFaultCases[] = {
    {"OpenDirectoryDenied", {Step::openDirectory, EACCES}, false},
    {"CreateTempDenied", {Step::createFile, EACCES}, false},
    {"CreateTempNameAlwaysTaken", {Step::createFile, EEXIST, 1000}, false},
    {"CreateTempNameTakenOnce", {Step::createFile, EEXIST, 1}, true},
    {"WriteNoSpace", {Step::write, ENOSPC}, false},
    {"ShortWriteThenNoSpace", {Step::write, ENOSPC, 1, 7}, false},
    {"WriteMakesNoProgress", {Step::write, 0, 1, 0, true}, false},
    {"WriteInterrupted", {Step::write, EINTR, 3}, true},
    {"ShortWriteThenRest", {Step::write, EINTR, 0, 5}, true},
    {"FileSyncFails", {Step::syncFile, EIO}, false},
    {"FileSyncInterrupted", {Step::syncFile, EINTR}, true},
    {"CloseFails", {Step::close, EIO}, false},
    {"CloseInterruptedAfterSync", {Step::close, EINTR}, true},
    {"NoHardLinks", {Step::link, EPERM}, true},
    {"RenameFails", {Step::rename, EXDEV}, false},
    {"DirectorySyncFails", {Step::syncDirectory, EIO}, false},
    {"DirectorySyncInterrupted", {Step::syncDirectory, EINTR}, true},
};

class WriteFaultTest : public ::testing::TestWithParam<std::tuple<FaultCase, bool>> {};

TEST_P(WriteFaultTest, FailureLeavesPreviousAndNoTemporary) {
  const auto& [c, hasPrevious] = GetParam();
  TempDir dir;
  const std::string previous = "{\"previous\":true}";
  if (hasPrevious) putFile(dir / kName, previous);
  const ino_t previousInode = hasPrevious ? inodeOf(dir / kName) : 0;

  BreakOneStep calls(c.fault);
  const std::string bytes = "{\"action\":\"flattenFolder\",\"folders\":[\"\\/x\"]}";
  EXPECT_EQ(writeFileAtomically(dir.path(), kName, bytes, calls), c.succeeds);
  EXPECT_GE(calls.hits(), 1) << "the fault was never injected";
  if (c.succeeds || hasPrevious) {
    EXPECT_EQ(fileBytes(dir / kName), c.succeeds ? bytes : previous);
    EXPECT_TRUE(c.succeeds || inodeOf(dir / kName) == previousInode) << "not the same file";
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
  } else {
    EXPECT_TRUE(namesIn(dir.path()).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Table, WriteFaultTest, ::testing::Combine(::testing::ValuesIn(kFaultCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_Replacing" : "_Fresh");
                         });

// Without hard links the rename cannot be undone; the file in place is the
// new one, and that is what the result says.
TEST(WriteFileAtomically, DirectorySyncFailureWithoutHardLinksKeepsNewFile) {
  struct NoLinks : BreakOneStep {
    using BreakOneStep::BreakOneStep;
    int link(int, const char*, const char*) override { return errno = EPERM, -1; }
  } calls(Fault{Step::syncDirectory, EIO});
  TempDir dir;
  putFile(dir / kName, "previous");
  EXPECT_TRUE(writeFileAtomically(dir.path(), kName, "new", calls));
  EXPECT_EQ(fileBytes(dir / kName), "new");
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
}

// ---- stale temporary files ----

TEST(StaleTemporaryFiles, WriteRemovesOnlyOldLeftoversOfDeadWriters) {
  TempDir dir;
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  // A leftover name for a write of `file` by `pid`, aged an hour unless `young`.
  const auto leftover = [&](std::string_view file, long pid, std::string_view hex, std::string_view suffix = ".tmp",
                            bool young = false) {
    const std::string name = "." + std::string(file) + "." + std::to_string(pid) + "." + std::string(hex) +
                             std::string(suffix);
    putFile(dir / name, "x");
    const auto when = std::chrono::system_clock::now() - std::chrono::hours(young ? 0 : 1);
    const timespec times[2] = {{std::chrono::system_clock::to_time_t(when), 0},
                               {std::chrono::system_clock::to_time_t(when), 0}};
    ::utimensat(AT_FDCWD, (dir / name).c_str(), times, AT_SYMLINK_NOFOLLOW);
    return name;
  };
  const std::string hex = "0123456789abcdef";
  leftover(kName, dead, hex);
  leftover(kName, dead, "fedcba9876543210", ".old");
  const std::set<std::string> kept = {
      kName,
      leftover(kName, 1, hex),                                // pid 1 lives
      leftover("rules.json", dead, hex),                      // another file's
      leftover(kName, dead, "0123456789ABCDEF"),              // not our hex
      leftover(kName, dead, "0123456789abcde"),               // 15 digits
      leftover(kName, dead, hex, ".tmp.bak"),                 // other suffix
      leftover(kName, dead, "00000000000000aa", ".tmp", true),  // its writer may only just have died
  };
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "new"));
  EXPECT_EQ(namesIn(dir.path()), kept);
}

}  // namespace
}  // namespace ferlo
