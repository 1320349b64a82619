// The extension's identity: which application group's container it shares
// with the host, and the host application's bundle identifier.
//
// Both values are computed once per Identity, at first use, from what the
// platform's bundle supplies, and then never change. The first computation
// runs exactly once even when first uses on several threads coincide.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ferlo {

// The compiled-in defaults (build configuration). They agree: the extension
// identifier is the host identifier plus ".FinderSync", and the app group is
// the team identifier, ".", and the host identifier.
[[nodiscard]] std::string_view defaultExtensionIdentifier();
[[nodiscard]] std::string_view defaultHostBundleIdentifier();
[[nodiscard]] std::string_view defaultTeamIdentifier();
[[nodiscard]] std::string_view defaultAppGroupIdentifier();

// The Info.plist key that names the app group.
inline constexpr std::string_view kAppGroupInfoKey = "TarvelinAppGroup";

// The app group for an Info.plist value: non-empty text exactly as stored,
// else the default.
[[nodiscard]] std::string deriveAppGroupIdentifier(const std::optional<InfoValue>& infoValue);

// The host identifier for an extension identifier (the default when none):
// the "."-separated components, empty ones dropped, less the last one.
//   "a.b.c" -> "a.b";  "a..b." -> "a";  ".a" -> "";  "abc" -> ""
[[nodiscard]] std::string deriveHostBundleIdentifier(const std::optional<std::string>& extensionIdentifier);

class Identity {
 public:
  explicit Identity(Platform& platform) : platform_(platform) {}
  Identity(const Identity&) = delete;
  Identity& operator=(const Identity&) = delete;

  [[nodiscard]] const std::string& appGroupIdentifier() const;
  [[nodiscard]] const std::string& hostBundleIdentifier() const;

 private:
  Platform& platform_;
  mutable std::once_flag appGroupOnce_;
  mutable std::once_flag hostOnce_;
  mutable std::string appGroup_;
  mutable std::string host_;
};

}  // namespace ferlo
