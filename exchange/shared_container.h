// The shared container: the app group's directory that the extension and the
// host application both reach, and the two files at its top level. The
// container is looked up afresh at every use; there is no fallback directory.
#pragma once

#include <optional>
#include <string_view>

#include "exchange/identity.h"
#include "platform/platform.h"

namespace ferlo {

inline constexpr std::string_view kRulesFileName = "rules.json";
inline constexpr std::string_view kRequestFileName = "tool-request.json";

// containerURLForSecurityApplicationGroupIdentifier with appGroupIdentifier.
[[nodiscard]] std::optional<FileURL> sharedContainerURL(Platform& platform, const Identity& identity);

}  // namespace ferlo
