// A FileCalls that breaks one step of the atomic write, for the file tests
// (the shared file helpers are tests/support/files.h).
#pragma once

#include <cerrno>
#include <algorithm>

#include "platform/files/file_io.h"
#include "tests/support/files.h"

namespace ferlo::testing {

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
