// The pixel size of a PNG image, read from its header (the signature and the
// IHDR chunk). None for anything that is not a well-formed PNG header.
#pragma once

#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace ferlo {

[[nodiscard]] std::optional<ImageSize> readPngSize(std::string_view bytes);

}  // namespace ferlo
