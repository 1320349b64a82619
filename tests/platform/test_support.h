// Helpers for the file tests: a real temporary directory per test, small
// file utilities, and a FileCalls that breaks one step of the atomic write.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "platform/files/file_io.h"

namespace ferlo::testing {

class TempDir {
  std::string path_ = std::filesystem::temp_directory_path() / "ferlo-platform-XXXXXX";

 public:
  TempDir() { if (::mkdtemp(path_.data()) == nullptr) std::abort(); }
  ~TempDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
  TempDir(TempDir&&) = delete;  // neither copied nor moved: one owner removes it
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::string operator/(const std::string& name) const { return path_ + "/" + name; }
};

inline void putFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

inline std::optional<std::string> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}

// The names in a directory (without "." and "..").
inline std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

inline ino_t inodeOf(const std::string& path) { struct stat info {}; return ::lstat(path.c_str(), &info), info.st_ino; }

// ---- One broken step of writeFileAtomically ----

enum class Step { none, openDirectory, createFile, write, syncFile, close, link, rename, syncDirectory };

struct Fault {
  Step step = Step::none;
  int error = EIO;
  int times = 1;            // how many calls of the step fail (the later ones pass)
  size_t shortWrite = 0;    // write: the first call passes this many bytes, then the fault
  bool returnZero = false;  // write: report no progress instead of an error
  bool noLinks = false;     // every link fails, as on a file system without hard links
};

// Forwards every call to the real one, except the calls of one step.
struct BreakOneStep : FileCalls {
  explicit BreakOneStep(Fault fault) : fault_(fault) {}
  // How many calls were made to misbehave.
  [[nodiscard]] int hits() const { return hits_ + shortDone_; }

  int openDirectory(const char* p) override { return breaks(Step::openDirectory) ? fail() : FileCalls::openDirectory(p); }
  int createFile(int d, const char* n) override { return breaks(Step::createFile) ? fail() : FileCalls::createFile(d, n); }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (fault_.step == Step::write && fault_.shortWrite > 0 && !shortDone_)
      return shortDone_ = 1, FileCalls::write(fd, data, std::min(size, fault_.shortWrite));
    return !breaks(Step::write) ? FileCalls::write(fd, data, size) : fault_.returnZero ? 0 : fail();
  }
  int syncFile(int fd) override { return breaks(Step::syncFile) ? fail() : FileCalls::syncFile(fd); }
  // As on Linux, the descriptor is gone even when close reports an error.
  int close(int fd) override { return breaks(Step::close) ? ((void)FileCalls::close(fd), fail()) : FileCalls::close(fd); }
  int link(int d, const char* a, const char* b) override {
    return fault_.noLinks ? (errno = EPERM, -1) : breaks(Step::link) ? fail() : FileCalls::link(d, a, b);
  }
  int rename(int d, const char* a, const char* b) override { return breaks(Step::rename) ? fail() : FileCalls::rename(d, a, b); }
  int syncDirectory(int d) override { return breaks(Step::syncDirectory) ? fail() : FileCalls::syncDirectory(d); }
  bool breaks(Step step) { return step == fault_.step && hits_ < fault_.times && ++hits_ > 0; }
  int fail() { return errno = fault_.error, -1; }
  Fault fault_;
  int hits_ = 0, shortDone_ = 0;
};

}  // namespace ferlo::testing
