#include "tools/ferlo/file_read.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace ferlo::cli {

Decoded<std::string> readStandardInput() {
  std::string bytes;
  char buffer[65536];
  try {
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        return DecodeError{"", std::strerror(errno)};
      }
      if (n == 0) break;
      // Refused before it is kept: endless input (/dev/zero, `yes`) stops here.
      if (static_cast<std::size_t>(n) > kMaxReadBytes - bytes.size()) {
        // The words of the file read's refusal.
        return DecodeError{"", "is larger than " + std::to_string(kMaxReadBytes) + " bytes"};
      }
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    return DecodeError{"", "is too large to read into memory"};
  }
  return bytes;
}

}  // namespace ferlo::cli
