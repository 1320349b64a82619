// The pixel size of a PNG image, read from its header (the signature and the
// IHDR chunk). None for anything that is not a well-formed PNG header.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ferlo {

// The signature and the IHDR chunk: all that readPngSize looks at.
inline constexpr std::size_t kPngHeaderBytes = 8 + 4 + 4 + 13 + 4;

[[nodiscard]] std::optional<ImageSize> readPngSize(std::string_view bytes);

// What keeps `bytes` from being a whole PNG file, in words for a person, or
// "" when nothing does. The chunks are followed to the end: the signature,
// IHDR first and readable by readPngSize, every chunk's length within the
// file and its CRC right, at least one IDAT, and IEND last, with nothing
// after it. The image data themselves are not decompressed.
[[nodiscard]] std::string pngStructureProblem(std::string_view bytes);

}  // namespace ferlo
