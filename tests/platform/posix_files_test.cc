#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
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

const ReadCase kReadCases[] = {
    {"Missing", [](const TempDir& d) { return d / "nothing"; }, std::nullopt},
    {"Directory", [](const TempDir& d) { return d.path(); }, std::nullopt},
    {"Fifo",  // must be refused without waiting for a writer
     [](const TempDir& d) {
       ::mkfifo((d / "fifo").c_str(), 0644);
       return d / "fifo";
     },
     std::nullopt},
    {"SymlinkToDevZero",
     [](const TempDir& d) {
       ::symlink("/dev/zero", (d / "zero").c_str());
       return d / "zero";
     },
     std::nullopt},
    {"DevNull", [](const TempDir&) { return std::string("/dev/null"); }, std::nullopt},
    {"Socket",
     [](const TempDir& d) {
       std::string path = d / "sock";
       int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
       sockaddr_un address{};
       address.sun_family = AF_UNIX;
       std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
       (void)::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
       ::close(fd);
       return path;
     },
     std::nullopt},
    {"DanglingSymlink",
     [](const TempDir& d) {
       ::symlink((d / "gone").c_str(), (d / "dangling").c_str());
       return d / "dangling";
     },
     std::nullopt},
    {"Empty",
     [](const TempDir& d) {
       putFile(d / "empty", "");
       return d / "empty";
     },
     std::string()},
    {"BinaryWithNul",
     [](const TempDir& d) {
       putFile(d / "bin", std::string("a\0b\xff", 4));
       return d / "bin";
     },
     std::string("a\0b\xff", 4)},
    {"SymlinkToRegularFile",
     [](const TempDir& d) {
       putFile(d / "real", "{}");
       ::symlink((d / "real").c_str(), (d / "link").c_str());
       return d / "link";
     },
     std::string("{}")},
    {"Large",
     [](const TempDir& d) {
       putFile(d / "large", largeText());
       return d / "large";
     },
     largeText()},
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

TEST(ReadRegularFile, FifoWithWriterAttachedIsStillRefused) {
  // A FIFO with a writer holding it open would make a blocking read wait
  // for data forever.
  TempDir dir;
  std::string path = dir / "fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  EXPECT_FALSE(readRegularFile(path).has_value());
  ::close(writer);
  ::close(reader);
}

TEST(ReadRegularFile, UnreadableFileGivesNone) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  std::string path = dir / "secret";
  putFile(path, "x");
  ::chmod(path.c_str(), 0);
  auto refused = testing::runUnprivileged([&] { return !readRegularFile(path).has_value(); });
  ASSERT_TRUE(refused.has_value());
  EXPECT_TRUE(*refused);
}

// ---- writeFileAtomically: the ordinary cases ----

TEST(WriteFileAtomically, CreatesFreshFile) {
  TempDir dir;
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "{\"a\":1}"));
  EXPECT_EQ(fileBytes(dir / kName), "{\"a\":1}");
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
}

TEST(WriteFileAtomically, ReplacesPreviousFileWholly) {
  TempDir dir;
  putFile(dir / kName, std::string(5000, 'o'));
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "new"));
  EXPECT_EQ(fileBytes(dir / kName), "new");
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, ""));
  EXPECT_EQ(fileBytes(dir / kName), "");
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
}

TEST(WriteFileAtomically, ReplacesPlantedSymlinkInsteadOfFollowingIt) {
  TempDir dir;
  TempDir outside;
  putFile(outside / "victim", "keep me");
  ASSERT_EQ(::symlink((outside / "victim").c_str(), (dir / kName).c_str()), 0);

  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "request"));
  EXPECT_EQ(fileBytes(outside / "victim"), "keep me");
  struct stat info {};
  ASSERT_EQ(::lstat((dir / kName).c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(fileBytes(dir / kName), "request");
}

TEST(WriteFileAtomically, MissingDirectoryIsNotCreated) {
  TempDir dir;
  EXPECT_FALSE(writeFileAtomically(dir / "absent", kName, "x"));
  EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
  putFile(dir / "plain", "file, not a directory");
  EXPECT_FALSE(writeFileAtomically(dir / "plain", kName, "x"));
}

TEST(WriteFileAtomically, DirectoryAtFinalNameIsLeftAndNothingRemains) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir / kName).c_str(), 0755), 0);
  EXPECT_FALSE(writeFileAtomically(dir.path(), kName, "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / kName));
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
}

TEST(WriteFileAtomically, RefusesNamesThatAreNotOneComponent) {
  TempDir dir;
  ::mkdir((dir / "sub").c_str(), 0755);
  const std::string_view names[] = {"", ".", "..", "sub/x", std::string_view("a\0b", 3)};
  for (std::string_view name : names) {
    EXPECT_FALSE(writeFileAtomically(dir.path(), name, "x")) << name;
  }
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"sub"});
  EXPECT_TRUE(namesIn(dir / "sub").empty());
}

TEST(WriteFileAtomically, LongNameStillFitsItsTemporaryName) {
  TempDir dir;
  std::string name(240, 'n');  // the temp name would pass NAME_MAX uncut
  ASSERT_TRUE(writeFileAtomically(dir.path(), name, "x"));
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{name});
}

TEST(WriteFileAtomically, ReadOnlyDirectoryKeepsPrevious) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  std::string sub = dir / "ro";
  ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
  putFile(sub + "/" + kName, "previous");
  ::chmod(sub.c_str(), 0555);
  auto written = testing::runUnprivileged([&] { return writeFileAtomically(sub, kName, "new"); });
  ASSERT_TRUE(written.has_value());
  EXPECT_FALSE(*written);
  EXPECT_EQ(fileBytes(sub + "/" + kName), "previous");
  EXPECT_EQ(namesIn(sub), std::set<std::string>{kName});
}

TEST(WriteFileAtomically, FileSizeLimitActsLikeFullDisk) {
  // A real write failure that holds for root as well: the process may not
  // grow a file past RLIMIT_FSIZE.
  TempDir dir;
  putFile(dir / kName, "previous");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  bool written = writeFileAtomically(dir.path(), kName, "longer than four bytes");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(fileBytes(dir / kName), "previous");
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
}

TEST(WriteFileAtomically, ConcurrentReadersSeeOnlyWholeFiles) {
  TempDir dir;
  // Contents of different lengths, so a torn file would show.
  std::vector<std::string> contents;
  for (int i = 0; i < 4; ++i) contents.push_back(std::string(1000 + i * 3001, static_cast<char>('a' + i)));
  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, contents[0]));

  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<int> failedWrites{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 60; ++i) {
        if (!writeFileAtomically(dir.path(), kName, contents[(w + i) % contents.size()])) ++failedWrites;
      }
    });
  }
  std::thread reader([&] {
    while (!done) {
      auto bytes = readRegularFile(dir / kName);
      if (!bytes || std::find(contents.begin(), contents.end(), *bytes) == contents.end()) ++torn;
    }
  });
  for (auto& t : writers) t.join();
  done = true;
  reader.join();
  EXPECT_EQ(failedWrites, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
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

  int openDirectory(const char* path) override {
    return breaks(Step::openDirectory) ? fail() : FileCalls::openDirectory(path);
  }
  int createFile(int dirFd, const char* name) override {
    return breaks(Step::createFile) ? fail() : FileCalls::createFile(dirFd, name);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (fault_.step == Step::write && fault_.shortWrite > 0 && !shortDone_) {
      shortDone_ = true;
      return FileCalls::write(fd, data, std::min(size, fault_.shortWrite));
    }
    if (!breaks(Step::write)) return FileCalls::write(fd, data, size);
    if (fault_.returnZero) return 0;
    return fail();
  }
  int syncFile(int fd) override { return breaks(Step::syncFile) ? fail() : FileCalls::syncFile(fd); }
  int close(int fd) override {
    if (!breaks(Step::close)) return FileCalls::close(fd);
    (void)FileCalls::close(fd);  // as on Linux: the descriptor is gone even on error
    return fail();
  }
  int link(int dirFd, const char* from, const char* to) override {
    return breaks(Step::link) ? fail() : FileCalls::link(dirFd, from, to);
  }
  int rename(int dirFd, const char* from, const char* to) override {
    return breaks(Step::rename) ? fail() : FileCalls::rename(dirFd, from, to);
  }
  int syncDirectory(int dirFd) override {
    return breaks(Step::syncDirectory) ? fail() : FileCalls::syncDirectory(dirFd);
  }

 private:
  bool breaks(Step step) {
    if (step != fault_.step || hits_ >= fault_.times) return false;
    ++hits_;
    return true;
  }
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
  bool written = writeFileAtomically(dir.path(), kName, bytes, calls);

  EXPECT_GE(calls.hits(), 1) << "the fault was never injected";
  EXPECT_EQ(written, c.succeeds);
  if (c.succeeds) {
    EXPECT_EQ(fileBytes(dir / kName), bytes);
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{kName});
  } else if (hasPrevious) {
    EXPECT_EQ(fileBytes(dir / kName), previous);
    EXPECT_EQ(inodeOf(dir / kName), previousInode) << "not the same file";
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
  struct Calls : FileCalls {
    int link(int, const char*, const char*) override {
      errno = EPERM;
      return -1;
    }
    int syncDirectory(int) override {
      errno = EIO;
      return -1;
    }
  } calls;
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
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

void ageFile(const std::string& path, std::chrono::minutes age) {
  auto then = std::chrono::system_clock::now() - age;
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = std::chrono::system_clock::to_time_t(then);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::string leftoverName(std::string_view file, long pid, std::string_view hex, std::string_view suffix) {
  return "." + std::string(file) + "." + std::to_string(pid) + "." + std::string(hex) + std::string(suffix);
}

TEST(StaleTemporaryFiles, WriteRemovesOnlyOldLeftoversOfDeadWriters) {
  TempDir dir;
  const pid_t dead = deadPid();
  const std::string hex = "0123456789abcdef";
  const auto old = std::chrono::minutes(60);

  std::set<std::string> removed = {
      leftoverName(kName, dead, hex, ".tmp"),
      leftoverName(kName, dead, "fedcba9876543210", ".old"),
  };
  std::set<std::string> kept = {
      leftoverName(kName, 1, hex, ".tmp"),                       // pid 1 lives
      leftoverName("rules.json", dead, hex, ".tmp"),             // another file's
      leftoverName(kName, dead, "0123456789ABCDEF", ".tmp"),     // not our hex
      leftoverName(kName, dead, "0123456789abcde", ".tmp"),      // 15 digits
      leftoverName(kName, dead, hex, ".tmp.bak"),                // other suffix
      "." + std::string(kName) + ".0" + std::to_string(dead) + "." + hex + ".tmp",  // leading zero
      std::string(kName) + "." + std::to_string(dead) + "." + hex + ".tmp",         // no leading dot
      "." + std::string(kName) + ".." + hex + ".tmp",                               // no pid
  };
  for (const auto& name : removed) putFile(dir / name, "x");
  for (const auto& name : kept) putFile(dir / name, "x");
  for (const auto& name : removed) ageFile(dir / name, old);
  for (const auto& name : kept) ageFile(dir / name, old);

  // Dead but recent: the writer may only just have died; left for later.
  const std::string recent = leftoverName(kName, dead, "00000000000000aa", ".tmp");
  putFile(dir / recent, "x");
  kept.insert(recent);
  // Our naming, a dead pid, old, but a directory: not a file of ours.
  const std::string directory = leftoverName(kName, dead, "00000000000000bb", ".tmp");
  ::mkdir((dir / directory).c_str(), 0755);
  ageFile(dir / directory, old);
  kept.insert(directory);

  ASSERT_TRUE(writeFileAtomically(dir.path(), kName, "new"));
  std::set<std::string> expected = kept;
  expected.insert(kName);
  EXPECT_EQ(namesIn(dir.path()), expected);
}

TEST(StaleTemporaryFiles, OneCallIsBounded) {
  TempDir dir;
  const pid_t dead = deadPid();
  for (int i = 0; i < 40; ++i) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016x", i);
    std::string path = dir / leftoverName(kName, dead, hex, ".tmp");
    putFile(path, "x");
    ageFile(path, std::chrono::minutes(60));
  }
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(removeStaleTemporaryFiles(fd, kName, realFileCalls()), 32);
  EXPECT_EQ(removeStaleTemporaryFiles(fd, kName, realFileCalls()), 8);
  EXPECT_EQ(removeStaleTemporaryFiles(fd, kName, realFileCalls()), 0);
  ::close(fd);
  EXPECT_TRUE(namesIn(dir.path()).empty());
}

}  // namespace
}  // namespace ferlo
