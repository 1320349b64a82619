#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

using testing::fileBytes;
using testing::inodeOf;
using testing::namesIn;
using testing::putFile;
using testing::TempDir;

constexpr const char* kName = "tool-request.json";

// ---- readRegularFile ----

struct ReadCase {
  const char* name;
  // Makes the thing to read inside `dir` and gives its path.
  std::function<std::string(const TempDir& dir)> make;
  std::optional<std::string> expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

std::string largeText() {
  std::string text;
  for (int i = 0; text.size() < (3u << 20) + 17; ++i) text += std::to_string(i) + ',';
  return text;
}

// A regular file "f" holding `bytes`, reached through a symbolic link when `viaLink`.
std::function<std::string(const TempDir&)> file(std::string bytes, bool viaLink = false) {
  return [bytes, viaLink](const TempDir& d) {
    putFile(d / "f", bytes);
    if (viaLink) ::symlink((d / "f").c_str(), (d / "link").c_str());
    return d / (viaLink ? "link" : "f");
  };
}

const ReadCase kReadCases[] = {
    {"Missing", [](const TempDir& d) { return d / "nothing"; }, std::nullopt},
    {"Directory", [](const TempDir& d) { return d.path(); }, std::nullopt},
    {"Fifo",  // must be refused without waiting for a writer
     [](const TempDir& d) { return ::mkfifo((d / "fifo").c_str(), 0644), d / "fifo"; }, std::nullopt},
    {"SymlinkToDevZero", [](const TempDir& d) { return ::symlink("/dev/zero", (d / "z").c_str()), d / "z"; },
     std::nullopt},
    {"Empty", file(""), std::string()},
    {"BinaryWithNul", file(std::string("a\0b\xff", 4)), std::string("a\0b\xff", 4)},
    {"SymlinkToRegularFile", file("{}", true), std::string("{}")},
    {"Large", file(largeText()), largeText()},
};

class ReadRegularFileTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadRegularFileTest, ReadsOnlyRegularFiles) {
  TempDir dir;
  std::string path = GetParam().make(dir);
  auto bytes = readRegularFile(path);
  ASSERT_EQ(bytes.has_value(), GetParam().expected.has_value());
  if (!bytes) return;
  EXPECT_EQ(*bytes, *GetParam().expected);
  EXPECT_GE(bytes->capacity(), bytes->size() + kReadPadding);
}

INSTANTIATE_TEST_SUITE_P(Table, ReadRegularFileTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- writeFileAtomically (plain writes, replacement and a full disk are in
// the platform contract suite; readers racing writers in the reliability
// concurrency test) ----

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
  EXPECT_TRUE(std::filesystem::is_directory(dir / kName));
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"plain", "sub", kName}));
  EXPECT_TRUE(namesIn(dir / "sub").empty());
}

TEST(WriteFileAtomically, LongNameStillFitsItsTemporaryName) {
  TempDir dir;
  std::string name(240, 'n');  // the temp name would pass NAME_MAX uncut
  ASSERT_TRUE(writeFileAtomically(dir.path(), name, "x"));
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{name});
}

// ---- writeFileAtomically: one broken step at a time ----

enum class Step { openDirectory, createFile, write, syncFile, close, link, rename, syncDirectory };

// How the broken step misbehaves.
struct Fault {
  Step step;
  int error = EIO;
  int times = 1;             // how many calls of the step fail (the rest pass)
  size_t shortWrite = 0;     // write: first pass this many bytes through, then fail
  bool returnZero = false;   // write: report no progress instead of an error
};

// Forwards every call to the real one, except the calls of one step.
class BreakOneStep : public FileCalls {
 public:
  explicit BreakOneStep(Fault fault) : fault_(fault) {}
  // How many calls were made to misbehave.
  int hits() const { return hits_ + (shortDone_ ? 1 : 0); }

  int openDirectory(const char* p) override { return breaks(Step::openDirectory) ? fail() : FileCalls::openDirectory(p); }
  int createFile(int d, const char* n) override { return breaks(Step::createFile) ? fail() : FileCalls::createFile(d, n); }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (fault_.step == Step::write && fault_.shortWrite > 0 && !shortDone_) {
      shortDone_ = true;
      return FileCalls::write(fd, data, std::min(size, fault_.shortWrite));
    }
    if (!breaks(Step::write)) return FileCalls::write(fd, data, size);
    return fault_.returnZero ? 0 : fail();
  }
  int syncFile(int fd) override { return breaks(Step::syncFile) ? fail() : FileCalls::syncFile(fd); }
  int close(int fd) override {
    if (!breaks(Step::close)) return FileCalls::close(fd);
    (void)FileCalls::close(fd);  // as on Linux: the descriptor is gone even on error
    return fail();
  }
  int link(int d, const char* a, const char* b) override { return breaks(Step::link) ? fail() : FileCalls::link(d, a, b); }
  int rename(int d, const char* a, const char* b) override {
    return breaks(Step::rename) ? fail() : FileCalls::rename(d, a, b);
  }
  int syncDirectory(int d) override { return breaks(Step::syncDirectory) ? fail() : FileCalls::syncDirectory(d); }

 private:
  bool breaks(Step step) { return step == fault_.step && hits_ < fault_.times && ++hits_ > 0; }
  int fail() {
    errno = fault_.error;
    return -1;
  }
  Fault fault_;
  int hits_ = 0;
  bool shortDone_ = false;
};

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

pid_t deadPid() {
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// Our temporary name for a write of `file` by `pid`, aged an hour.
std::string oldLeftover(const TempDir& dir, std::string_view file, long pid, std::string_view hex,
                        std::string_view suffix = ".tmp") {
  std::string name = "." + std::string(file) + "." + std::to_string(pid) + "." + std::string(hex) + std::string(suffix);
  putFile(dir / name, "x");
  const timespec old = {std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - std::chrono::hours(1)), 0};
  const timespec times[2] = {old, old};
  ::utimensat(AT_FDCWD, (dir / name).c_str(), times, AT_SYMLINK_NOFOLLOW);
  return name;
}

TEST(StaleTemporaryFiles, WriteRemovesOnlyOldLeftoversOfDeadWriters) {
  TempDir dir;
  const pid_t dead = deadPid();
  const std::string hex = "0123456789abcdef";
  oldLeftover(dir, kName, dead, hex);
  oldLeftover(dir, kName, dead, "fedcba9876543210", ".old");
  std::set<std::string> kept = {
      kName,
      oldLeftover(dir, kName, 1, hex),                       // pid 1 lives
      oldLeftover(dir, "rules.json", dead, hex),             // another file's
      oldLeftover(dir, kName, dead, "0123456789ABCDEF"),     // not our hex
      oldLeftover(dir, kName, dead, "0123456789abcde"),      // 15 digits
      oldLeftover(dir, kName, dead, hex, ".tmp.bak"),        // other suffix
  };
  // Dead but recent: the writer may only just have died; left for later.
  const std::string recent = "." + std::string(kName) + "." + std::to_string(dead) + ".00000000000000aa.tmp";
  putFile(dir / recent, "x");
  kept.insert(recent);
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "new"));
  EXPECT_EQ(namesIn(dir.path()), kept);
}

}  // namespace
}  // namespace ferlo
