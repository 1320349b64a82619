// The text of the bundle's resource files, as the readers of `.strings`
// tables and of property lists both take it: bytes decoded to UTF-8, and a
// refusal that names its line.
//
//   auto text = decodeResourceText(fileBytes);
//   if (!text) describe(text.error);  // "line 3: invalid UTF-8"
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/decoded.h"

namespace ferlo {

// A refusal at byte offset `offset` of `text`: where is "line N", the line
// (from 1) that holds it; "\n", "\r\n" and a lone "\r" each end a line.
[[nodiscard]] DecodeError resourceErrorAt(std::string_view text, std::size_t offset, std::string why);

// Renders a resource file's refusal as "line 3: missing ';' after value", or
// the bare reason when it is about the file as a whole (an empty where).
[[nodiscard]] std::string describe(const DecodeError& error);

// Decodes a resource text file to UTF-8: a UTF-16 byte order mark (FF FE or
// FE FF) selects UTF-16 little or big endian, a UTF-8 mark is dropped, and
// anything else must be valid UTF-8. Refuses an odd UTF-16 length, unpaired
// surrogates (for the file as a whole) and invalid UTF-8 (at its line).
[[nodiscard]] Decoded<std::string> decodeResourceText(std::string_view bytes);

}  // namespace ferlo
