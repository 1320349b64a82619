// Rule manifest decoder: any bytes either decode or fail with a diagnostic,
// the in-place parse (a buffer with readWholeFile's spare capacity) agrees
// with the copying one, and a decoded manifest survives encode -> decode
// unchanged, with an encoding that is stable from then on.
#include "exchange/rule_manifest.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

FERLO_FUZZ_TARGET(text) {

  const Decoded<RuleManifest> copied = decodeRuleManifest(text);
  std::string padded(text.size() + kReadPadding, '\0');
  padded.assign(text);  // keeps the capacity
  const Decoded<RuleManifest> inPlace = decodeRuleManifest(padded);
  FERLO_FUZZ_CHECK(copied.value == inPlace.value, "in-place and copying parses disagree");
  if (!copied) {
    FERLO_FUZZ_CHECK(!copied.error.why.empty(), "a failure without a reason");
    FERLO_FUZZ_CHECK(copied.error.where == inPlace.error.where && copied.error.why == inPlace.error.why,
                     "the two parses explain a failure differently");
    return;
  }

  const std::string encoded = encodeRuleManifest(*copied.value);
  const Decoded<RuleManifest> again = decodeRuleManifest(encoded);
  FERLO_FUZZ_CHECK(again && *again.value == *copied.value, "encode -> decode changed the manifest");
  FERLO_FUZZ_CHECK(encodeRuleManifest(*again.value) == encoded, "the encoding is not stable");
}
