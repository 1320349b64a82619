// Tool request decoder: any bytes either decode or fail with a diagnostic; a
// decoded request (whose strings the parser has validated as UTF-8) always
// encodes, decodes back equal, and encodes to the same bytes again.
#include "exchange/tool_request.h"
#include "fuzz/fuzz_support.h"

FERLO_FUZZ_TARGET(bytes) {
  const Decoded<ToolRequest> decoded = decodeToolRequest(bytes);
  if (!decoded) {
    FERLO_FUZZ_CHECK(!decoded.error.why.empty(), "a failure without a reason");
    return;
  }
  const std::optional<std::string> encoded = encodeToolRequest(*decoded.value);
  FERLO_FUZZ_CHECK(encoded.has_value(), "a decoded request cannot be encoded");
  FERLO_FUZZ_CHECK(encoded->find('\n') == std::string::npos, "the encoding is not compact");
  const Decoded<ToolRequest> again = decodeToolRequest(*encoded);
  FERLO_FUZZ_CHECK(again && *again.value == *decoded.value, "encode -> decode changed the request");
  FERLO_FUZZ_CHECK(encodeToolRequest(*again.value) == encoded, "the encoding is not stable");
}
