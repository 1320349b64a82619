#include "tools/ferlo/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace ferlo::cli {
namespace {

const char* kindName(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  return "is not a regular file";
}

}  // namespace

FileReadResult readRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {std::nullopt, std::strerror(errno)};
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return {std::nullopt, std::strerror(error)};
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return {std::nullopt, kindName(st.st_mode)};
  }
  std::string bytes;
  // The decoders parse in place when the buffer has room beyond the data.
  bytes.reserve(static_cast<std::size_t>(st.st_size) + kReadPadding);
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      const int error = errno;
      ::close(fd);
      return {std::nullopt, std::strerror(error)};
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (bytes.capacity() < bytes.size() + kReadPadding) bytes.reserve(bytes.size() + kReadPadding);
  return {std::move(bytes), {}};
}

}  // namespace ferlo::cli
