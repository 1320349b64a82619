// The file operations that ship, in the extension as in the stand-in: a
// bounded, non-blocking whole-file read and a durable atomic replace, with
// the system calls of the replace behind a small seam so that tests can
// break any one step.
//
// Errors of the OS stop here: callers get a refusal or false, never errno
// (only the reason in words).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "base/decoded.h"

namespace ferlo {

// The whole contents of the regular file at `path` (symbolic links are
// followed), or a refusal when it is missing, unreadable, or not a regular file
// (a directory, a FIFO, a socket, a device such as /dev/zero). Never blocks
// waiting for a writer: a FIFO is refused without waiting for one. Reads at
// most the size the file had when it was opened, so a file that grows
// meanwhile cannot make the result unbounded; one that shrinks gives what
// was there. The result's capacity exceeds its size by at least kReadPadding.
// Thread-safe. A refusal is about the file as a whole (an empty where) and
// says why in words for a person ("No such file or directory", "is a FIFO,
// not a regular file"). A file larger than `maxBytes` is refused without
// reading it.
//   readRegularFile("/etc/hostname");   // the bytes
//   readRegularFile("/dev/zero");       // "is a device, not a regular file"
[[nodiscard]] Decoded<std::string> readRegularFile(const std::string& path,
                                                   std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max());

// At most the first `count` bytes of the regular file at `path`, under the
// rules of readRegularFile (whatever the file's size): what a reader of a
// header needs, and no more memory than that.
[[nodiscard]] Decoded<std::string> readRegularFilePrefix(const std::string& path, std::size_t count);

// The system calls of writeFileAtomically, one member per step. The members
// of this class are the real calls; a test derives from it, overrides the
// one member it wants to break, and forwards the rest (by not overriding
// them). Each member behaves like the system call it names: a result of -1
// with errno set means failure. Must be thread-safe when the writes that use
// it run on several threads.
class FileCalls {
 public:
  virtual ~FileCalls() = default;

  // open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC): the directory's fd.
  [[nodiscard]] virtual int openDirectory(const char* path);
  // openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644).
  [[nodiscard]] virtual int createFile(int dirFd, const char* name);
  // write(fd, data, size): may write less than asked.
  [[nodiscard]] virtual ssize_t write(int fd, const void* data, size_t size);
  // Flushes the file's data to stable storage: F_FULLFSYNC where the system
  // has it (falling back to fsync when the file system refuses it), else
  // fsync.
  [[nodiscard]] virtual int syncFile(int fd);
  // close(fd).
  [[nodiscard]] virtual int close(int fd);
  // linkat(dirFd, from, dirFd, to, 0): a second name for `from`.
  [[nodiscard]] virtual int link(int dirFd, const char* from, const char* to);
  // renameat(dirFd, from, dirFd, to).
  [[nodiscard]] virtual int rename(int dirFd, const char* from, const char* to);
  // unlinkat(dirFd, name, 0).
  [[nodiscard]] virtual int unlink(int dirFd, const char* name);
  // fsync of the directory, making the names in it durable.
  [[nodiscard]] virtual int syncDirectory(int dirFd);
};

// The real calls, shared; stateless and thread-safe.
[[nodiscard]] FileCalls& realFileCalls();

// Replaces `dirPath`/`fileName` with `bytes` atomically and durably:
//   1. the directory is opened (never created: a missing one is a failure);
//   2. stale temporary files of earlier writers of this file are removed
//      (see removeStaleTemporaryFiles);
//   3. a new file ".<fileName>.<pid>.<16 hex digits>.tmp" is created in the
//      directory with O_EXCL|O_NOFOLLOW (a few names are tried when one is
//      taken), written whole, flushed and closed;
//   4. while a previous file exists, it gets a second name with the same
//      stem and ".old" instead of ".tmp", so that step 6 can be undone;
//   5. the new file is renamed over fileName, which replaces whatever is
//      there (a symbolic link planted at fileName is replaced, never
//      followed), so a reader sees the previous file or the whole new one;
//   6. the directory is flushed, making the rename durable.
// True when the new file is in place. On false the previous file is there
// byte for byte (the same file, in fact) and no temporary file is left.
// Two exceptions, both after a failed directory flush (step 6): on a file
// system without hard links, where step 4 cannot be done, the rename cannot
// be undone, so the new file stays and the result is true (it is what is in
// place); and should the undo itself fail, the new file stays and the result
// is false.
// `fileName` must be a single name: empty, ".", ".." or one with "/" fails.
// With `whyNot`, a false result also says why, in words for a person: the
// OS's reason for the step that failed ("Is a directory", "File too large").
//   writeFileAtomically("/c", "tool-request.json", R"({"action":"flattenFolder"})");
[[nodiscard]] bool writeFileAtomically(const std::string& dirPath, std::string_view fileName,
                                       std::string_view bytes, FileCalls& calls = realFileCalls(),
                                       std::string* whyNot = nullptr);

// How long a temporary file of a dead writer is left alone.
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

// A writer killed between steps 3 and 6 leaves its temporary file (or the
// ".old" name of the previous file) behind. This removes, in the directory
// `dirFd`, the leftovers of fileName's writers: regular files named exactly
// ".<fileName>.<pid>.<16 hex digits>.tmp" or ".old" whose pid names no live
// process (kill(pid, 0) fails with ESRCH) and whose last change is at least
// kStaleTemporaryAge before `now`. A live writer's files are never touched,
// and neither is any other name. Removing the file of a writer that only
// looks dead (another pid namespace) is still safe: its rename then fails
// and it reports false with the previous file in place. At most 32 files go
// per call, so one call stays bounded. Returns how many were removed.
[[nodiscard]] int removeStaleTemporaryFiles(int dirFd, std::string_view fileName, FileCalls& calls,
                              std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace ferlo
