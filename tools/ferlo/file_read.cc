#include "tools/ferlo/file_read.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/files/file_io.h"

namespace ferlo::cli {
FileReadResult readRegularFile(const std::string& path, std::uint64_t maxBytes) {
  // The same read the extension's stand-in does, so that what the program
  // reports about a file is what the extension would see.
  FileReadResult result;
  result.bytes = ferlo::readRegularFile(path, &result.error, maxBytes);
  return result;
}

FileReadResult readStandardInput() {
  FileReadResult result;
  std::string bytes;
  char buffer[65536];
  try {
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        result.error = std::strerror(errno);
        return result;
      }
      if (n == 0) break;
      // Refused before it is kept: endless input (/dev/zero, `yes`) stops here.
      if (static_cast<std::size_t>(n) > kMaxReadBytes - bytes.size()) {
        // The words of the file read's refusal.
        result.error = "is larger than " + std::to_string(kMaxReadBytes) + " bytes";
        return result;
      }
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    result.error = "is too large to read into memory";
    return result;
  }
  result.bytes = std::move(bytes);
  return result;
}

}  // namespace ferlo::cli
