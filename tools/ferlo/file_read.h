// Reading a whole regular file for the program's own diagnostics, with the
// reason when it cannot be read.
#pragma once

#include <optional>
#include <string>

namespace ferlo::cli {

struct FileReadResult {
  std::optional<std::string> bytes;
  std::string error;  // e.g. "No such file or directory", "is a directory"
};

// The bytes of the regular file at `path`. A directory, FIFO, device or
// socket is refused at once, without reading from it (a FIFO is opened
// without waiting for a writer).
[[nodiscard]] FileReadResult readRegularFile(const std::string& path);

// Everything on standard input up to its end, whatever it is (a pipe, a
// terminal, a file), with the reason when a read fails.
[[nodiscard]] FileReadResult readStandardInput();

}  // namespace ferlo::cli
