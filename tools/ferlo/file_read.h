// Reading a whole regular file for the program's own diagnostics, with the
// reason when it cannot be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace ferlo::cli {

// The most `check` reads of a file or of standard input, 256 MiB: four
// times the largest manifest the benchmarks measure. Beyond it the read is
// refused with the reason "is larger than 268435456 bytes"; standard input
// is read no further than that, so endless input (/dev/zero, `yes`) ends.
inline constexpr std::size_t kMaxReadBytes = std::size_t{256} << 20;

struct FileReadResult {
  std::optional<std::string> bytes;
  std::string error;  // e.g. "No such file or directory", "is a directory"
};

// The bytes of the regular file at `path`. A directory, FIFO, device or
// socket is refused at once, without reading from it (a FIFO is opened
// without waiting for a writer); so is a file larger than `maxBytes`.
[[nodiscard]] FileReadResult readRegularFile(const std::string& path,
                                             std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max());

// Everything on standard input up to its end, whatever it is (a pipe, a
// terminal, a file), with the reason when a read fails, when there is more
// than kMaxReadBytes, or when memory runs out ("is too large to read into
// memory", as for a file).
[[nodiscard]] FileReadResult readStandardInput();

}  // namespace ferlo::cli
