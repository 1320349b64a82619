// The PNG size reader: any bytes give none or a size whose sides are whole,
// positive and within the format's 2^31 - 1; the answer depends on the
// header alone (bytes after it never change it); a whole PNG has a size.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "platform/stand_in/png_size.h"

FERLO_FUZZ_TARGET(bytes) {
  const std::optional<ImageSize> found = readPngSize(bytes);
  if (found) {
    for (const double side : {found->width, found->height}) {
      FERLO_FUZZ_CHECK(side >= 1 && side <= 2147483647.0 && std::floor(side) == side, "a side out of range");
    }
  }
  FERLO_FUZZ_CHECK(found || !pngStructureProblem(bytes).empty(), "a whole PNG without a size");
  constexpr std::size_t kHeader = 33;  // signature and IHDR chunk
  if (bytes.size() > kHeader) {
    const std::optional<ImageSize> headerOnly = readPngSize(bytes.substr(0, kHeader));
    FERLO_FUZZ_CHECK(headerOnly.has_value() == found.has_value() &&
                         (!found || (headerOnly->width == found->width && headerOnly->height == found->height)),
                     "bytes after the header changed the answer");
  }
}
