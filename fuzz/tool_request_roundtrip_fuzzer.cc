// ToolRequest encode -> decode, for requests built from the input: a request
// whose strings are all valid UTF-8 encodes to compact JSON with every "/"
// escaped and no raw control character, and decodes to the same request; one
// with any invalid string is refused as a whole.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "exchange/tool_request.h"
#include "fuzz/fuzz_support.h"

namespace {

using ferlo::ToolRequest;

std::vector<std::string> makeList(FuzzedDataProvider& input, bool& allValid) {
  std::vector<std::string> list(input.ConsumeIntegralInRange(0, 5));
  for (std::string& item : list) {
    item = input.ConsumeRandomLengthString(48);
    allValid = allValid && ferlo::fuzz::isValidUtf8(item);
  }
  return list;
}

// Every "/" written as "\/", and no byte below 0x20 outside an escape.
bool escapedAsPromised(const std::string& json) {
  for (std::size_t i = 0; i < json.size(); i += json[i] == '\\' ? 2 : 1) {  // past an escaped character
    if (json[i] == '/' || static_cast<unsigned char>(json[i]) < 0x20) return false;
  }
  return true;
}

}  // namespace

FERLO_FUZZ_TARGET(bytes) {
  FuzzedDataProvider input(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  bool allValid = true;
  ToolRequest request;
  request.action = static_cast<ToolRequest::Action>(input.ConsumeIntegralInRange(0, 3));
  request.folders = makeList(input, allValid);
  if (input.ConsumeBool()) request.ruleID = input.ConsumeRandomLengthString(40);
  allValid = allValid && isValidUtf8(request.ruleID.value_or(""));
  if (input.ConsumeBool()) request.files = makeList(input, allValid);
  if (input.ConsumeBool()) request.days = input.ConsumeIntegral<std::int64_t>();

  const std::optional<std::string> encoded = encodeToolRequest(request);
  FERLO_FUZZ_CHECK(encoded.has_value() == allValid, "encodable exactly when every string is UTF-8");
  if (!encoded) return;
  FERLO_FUZZ_CHECK(escapedAsPromised(*encoded), "a raw \"/\" or control character in the encoding");
  const Decoded<ToolRequest> decoded = decodeToolRequest(*encoded);
  FERLO_FUZZ_CHECK(decoded && *decoded.value == request, "encode -> decode changed the request");
}
