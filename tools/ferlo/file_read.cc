#include "tools/ferlo/file_read.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_files.h"

namespace ferlo::cli {

FileReadResult readRegularFile(const std::string& path) {
  // The same read the extension's stand-in does, so that what the program
  // reports about a file is what the extension would see.
  FileReadResult result;
  result.bytes = ferlo::readRegularFile(path, &result.error);
  return result;
}

FileReadResult readStandardInput() {
  FileReadResult result;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = std::strerror(errno);
      return result;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  result.bytes = std::move(bytes);
  return result;
}

}  // namespace ferlo::cli
