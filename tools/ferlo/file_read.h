// Reading standard input whole for the program's own diagnostics, with the
// reason when it cannot be read; a named file is read with readRegularFile
// (platform/files), the read the extension's stand-in does, so that what the
// program reports about a file is what the extension would see.
#pragma once

#include <cstddef>
#include <string>

#include "base/decoded.h"

namespace ferlo::cli {

// The most `check` reads of a file or of standard input, 256 MiB: four
// times the largest manifest the benchmarks measure. Beyond it the read is
// refused with the reason "is larger than 268435456 bytes"; standard input
// is read no further than that, so endless input (/dev/zero, `yes`) ends.
inline constexpr std::size_t kMaxReadBytes = std::size_t{256} << 20;

// Everything on standard input up to its end, whatever it is (a pipe, a
// terminal, a file), or the refusal (for the input as a whole) when a read
// fails, when there is more than kMaxReadBytes, or when memory runs out ("is
// too large to read into memory", as for a file).
[[nodiscard]] Decoded<std::string> readStandardInput();

}  // namespace ferlo::cli
