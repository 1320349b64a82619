#include "platform/files/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/platform.h"

namespace ferlo {
namespace {

// Temporary names carry at most this much of the file name, cut at a UTF-8
// character boundary, so that the suffix still fits under NAME_MAX (255).
constexpr std::size_t kMaxStemBytes = 200;
constexpr int kCreateAttempts = 8;
constexpr int kMaxRemovalsPerCall = 32;
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::string_view kOldSuffix = ".old";

std::string_view stemOf(std::string_view fileName) {
  if (fileName.size() <= kMaxStemBytes) return fileName;
  std::size_t end = kMaxStemBytes;
  while (end > 0 && (static_cast<unsigned char>(fileName[end]) & 0xC0) == 0x80) --end;
  return fileName.substr(0, end);
}

bool isSingleName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// Not for secrecy: O_EXCL makes the name ours; this only makes a clash with
// another writer unlikely, so that the first attempt nearly always succeeds.
std::uint64_t nextRandom() {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x = counter.fetch_add(1, std::memory_order_relaxed);
  x += static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x += static_cast<std::uint64_t>(::getpid()) << 40;
  x += reinterpret_cast<std::uintptr_t>(&x);  // differs per thread stack
  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// ".<stem>.<pid>.<16 hex>" — the common part of the temp and ".old" names.
std::string makeStem(std::string_view fileName) {
  char tail[48];
  std::snprintf(tail, sizeof tail, ".%ld.%016llx", static_cast<long>(::getpid()),
                static_cast<unsigned long long>(nextRandom()));
  std::string stem = ".";
  stem += stemOf(fileName);
  stem += tail;
  return stem;
}

// The pid embedded in a leftover of fileName's writers, or none when `name`
// is not exactly ".<stem>.<decimal pid>.<16 hex>.tmp" or ".old".
std::optional<pid_t> leftoverPid(std::string_view name, std::string_view fileName) {
  std::string_view stem = stemOf(fileName);
  if (name.size() < 1 + stem.size() + 1 || name[0] != '.' || name.substr(1, stem.size()) != stem) return std::nullopt;
  std::string_view rest = name.substr(1 + stem.size());
  if (rest.ends_with(kTempSuffix)) {
    rest.remove_suffix(kTempSuffix.size());
  } else if (rest.ends_with(kOldSuffix)) {
    rest.remove_suffix(kOldSuffix.size());
  } else {
    return std::nullopt;
  }
  // rest is now ".<pid>.<16 hex>"
  if (rest.size() < 1 + 1 + 1 + 16 || rest[0] != '.' || rest[rest.size() - 17] != '.') return std::nullopt;
  for (char c : rest.substr(rest.size() - 16)) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    if (!hex) return std::nullopt;
  }
  std::string_view digits = rest.substr(1, rest.size() - 18);
  if (digits.empty() || digits.size() > 10 || digits[0] == '0') return std::nullopt;
  std::int64_t pid = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  if (pid <= 0 || pid > INT32_MAX) return std::nullopt;
  return static_cast<pid_t>(pid);
}

bool processIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Writes all of `bytes`, through short writes and interruptions.
bool writeAll(FileCalls& calls, int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = calls.write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {  // no progress and no error: give up rather than spin
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int retryOnInterrupt(auto call) {
  int result;
  do {
    result = call();
  } while (result != 0 && errno == EINTR);
  return result;
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

}  // namespace

namespace {

const char* notRegularReason(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  return "is not a regular file";
}

// A read refused, for the file as a whole.
DecodeError refuse(std::string reason) { return DecodeError{"", std::move(reason)}; }

// readRegularFile, reading at most `limit` bytes of the file.
Decoded<std::string> readRegular(const std::string& path, std::uint64_t maxBytes, std::uint64_t limit) {
  // A stat first keeps us from opening devices at all (opening some has
  // effects); the fstat after the open decides, since the path may have
  // changed in between.
  struct stat before;
  if (::stat(path.c_str(), &before) != 0) return refuse(std::strerror(errno));
  if (!S_ISREG(before.st_mode)) return refuse(notRegularReason(before.st_mode));

  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return refuse(std::strerror(errno));
  FdCloser closer(fd);

  struct stat info;
  if (::fstat(fd, &info) != 0) return refuse(std::strerror(errno));
  if (!S_ISREG(info.st_mode) || info.st_size < 0) return refuse(notRegularReason(info.st_mode));
  auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > maxBytes) return refuse("is larger than " + std::to_string(maxBytes) + " bytes");
  size = std::min(size, limit);

  std::string bytes;
  try {
    if (size > bytes.max_size() - kReadPadding) return refuse("is too large to read");
    bytes.reserve(static_cast<std::size_t>(size) + kReadPadding);
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return refuse("is too large to read into memory");
  } catch (const std::length_error&) {
    return refuse("is too large to read");
  }

  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return refuse(std::strerror(errno));
    }
    if (n == 0) break;  // the file shrank
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);  // shrinking keeps the capacity, and so the padding
  return bytes;
}

}  // namespace

Decoded<std::string> readRegularFile(const std::string& path, std::uint64_t maxBytes) {
  return readRegular(path, maxBytes, maxBytes);
}

Decoded<std::string> readRegularFilePrefix(const std::string& path, std::size_t count) {
  return readRegular(path, std::numeric_limits<std::uint64_t>::max(), count);
}

int FileCalls::openDirectory(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int FileCalls::createFile(int dirFd, const char* name) {
  int fd;
  do {
    fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

ssize_t FileCalls::write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

int FileCalls::syncFile(int fd) {
#if defined(F_FULLFSYNC)
  // fsync alone leaves the data in the drive's cache on macOS. Some file
  // systems (network shares) refuse F_FULLFSYNC; fsync is the best they do.
  if (::fcntl(fd, F_FULLFSYNC) == 0) return 0;
#endif
  return ::fsync(fd);
}

int FileCalls::close(int fd) { return ::close(fd); }

int FileCalls::link(int dirFd, const char* from, const char* to) { return ::linkat(dirFd, from, dirFd, to, 0); }

int FileCalls::rename(int dirFd, const char* from, const char* to) { return ::renameat(dirFd, from, dirFd, to); }

int FileCalls::unlink(int dirFd, const char* name) { return ::unlinkat(dirFd, name, 0); }

int FileCalls::syncDirectory(int dirFd) {
#if defined(F_FULLFSYNC)
  if (::fcntl(dirFd, F_FULLFSYNC) == 0) return 0;
#endif
  return ::fsync(dirFd);
}

FileCalls& realFileCalls() {
  static FileCalls calls;
  return calls;
}

int removeStaleTemporaryFiles(int dirFd, std::string_view fileName, FileCalls& calls,
                              std::chrono::system_clock::time_point now) {
  // readdir needs a DIR of its own; a duplicate keeps dirFd open for the caller.
  int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (listFd < 0) return 0;
  DIR* dir = ::fdopendir(listFd);
  if (dir == nullptr) {
    ::close(listFd);
    return 0;
  }
  ::rewinddir(dir);

  // Collect first: unlinking while readdir runs may skip or repeat entries.
  std::vector<std::string> stale;
  const auto cutoff = now - kStaleTemporaryAge;
  while (stale.size() < kMaxRemovalsPerCall) {
    errno = 0;
    dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    std::string_view name = entry->d_name;
    auto pid = leftoverPid(name, fileName);
    if (!pid || *pid == ::getpid()) continue;
    struct stat info;
    if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
    auto changed = std::chrono::system_clock::from_time_t(info.st_mtime);
    if (changed > cutoff) continue;
    if (!processIsGone(*pid)) continue;
    stale.emplace_back(name);
  }
  ::closedir(dir);

  int removed = 0;
  for (const auto& name : stale) {
    if (calls.unlink(dirFd, name.c_str()) == 0) ++removed;
  }
  return removed;
}

bool writeFileAtomically(const std::string& dirPath, std::string_view fileName, std::string_view bytes,
                         FileCalls& calls, std::string* whyNot) {
  // The reason of a failure is the errno of the step that failed, taken
  // before the clean-up calls can change it.
  const auto fail = [whyNot](int error) {
    if (whyNot) *whyNot = std::strerror(error);
    return false;
  };
  if (!isSingleName(fileName) || dirPath.find('\0') != std::string::npos) {
    if (whyNot) *whyNot = "not a single file name in a directory";
    return false;
  }
  const std::string finalName(fileName);

  int dirFd = calls.openDirectory(dirPath.c_str());
  if (dirFd < 0) return fail(errno);
  FdCloser dirCloser(dirFd);

  (void)removeStaleTemporaryFiles(dirFd, fileName, calls);

  // 3. The new file under a name of our own.
  std::string stem;
  std::string tempName;
  int fd = -1;
  for (int attempt = 0; attempt < kCreateAttempts && fd < 0; ++attempt) {
    stem = makeStem(fileName);
    tempName = stem + std::string(kTempSuffix);
    fd = calls.createFile(dirFd, tempName.c_str());
    if (fd < 0 && errno != EEXIST) return fail(errno);
  }
  if (fd < 0) return fail(EEXIST);

  auto discardTemp = [&] { (void)calls.unlink(dirFd, tempName.c_str()); };

  if (!writeAll(calls, fd, bytes) || retryOnInterrupt([&] { return calls.syncFile(fd); }) != 0) {
    const int error = errno;
    (void)calls.close(fd);
    discardTemp();
    return fail(error);
  }
  // After a successful flush, EINTR from close loses nothing (the fd is gone
  // on the systems we run on); any other error may mean lost data (NFS).
  if (calls.close(fd) != 0 && errno != EINTR) {
    const int error = errno;
    discardTemp();
    return fail(error);
  }

  // 4. A second name for the previous file, so that a failed flush of the
  // directory can put it back exactly.
  const std::string oldName = stem + std::string(kOldSuffix);
  enum class Previous { none, saved, unsaved } previous;
  if (calls.link(dirFd, finalName.c_str(), oldName.c_str()) == 0) {
    previous = Previous::saved;
  } else if (errno == ENOENT) {
    previous = Previous::none;
  } else {
    previous = Previous::unsaved;  // no hard links here; go on without an undo
  }
  auto discardOld = [&] {
    if (previous == Previous::saved) (void)calls.unlink(dirFd, oldName.c_str());
  };

  // 5. The replace itself.
  if (calls.rename(dirFd, tempName.c_str(), finalName.c_str()) != 0) {
    const int error = errno;
    discardTemp();
    discardOld();
    return fail(error);
  }

  // 6. Make the rename durable; when that fails, undo it so that the result
  // tells the truth about what is in place.
  if (retryOnInterrupt([&] { return calls.syncDirectory(dirFd); }) != 0) {
    const int error = errno;
    switch (previous) {
      case Previous::saved:
        if (calls.rename(dirFd, oldName.c_str(), finalName.c_str()) != 0) discardOld();
        break;
      case Previous::none:
        (void)calls.unlink(dirFd, finalName.c_str());
        break;
      case Previous::unsaved:
        return true;  // cannot be undone: the new file is what is in place
    }
    (void)calls.syncDirectory(dirFd);
    return fail(error);
  }
  discardOld();
  return true;
}

}  // namespace ferlo
