// The same manifest decoded the way another C++ developer would write it
// with two widely used JSON libraries: into the same RuleManifest records,
// with the same checks (top level an object; "rules" an array of objects,
// each with an "id" string in UUID text form and a string "name"; unknown
// members ignored, the last of a repeated name counting; "watchedRoots"
// absent, null or an array of strings), and the same UTF-8 validation. They
// report failure as none; ours also says why, which costs nothing on
// success.
//
// Each is compiled only when its library was found (FERLO_BENCH_HAVE_...).
#pragma once

#include <optional>
#include <string_view>

#include "exchange/rule_manifest.h"

namespace ferlo::bench {

#if defined(FERLO_BENCH_HAVE_NLOHMANN)
[[nodiscard]] std::optional<RuleManifest> decodeWithNlohmann(std::string_view bytes);
#endif

#if defined(FERLO_BENCH_HAVE_RAPIDJSON)
[[nodiscard]] std::optional<RuleManifest> decodeWithRapidJson(std::string_view bytes);
#endif

}  // namespace ferlo::bench
