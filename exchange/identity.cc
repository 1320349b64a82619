#include "exchange/identity.h"

#include <vector>

namespace ferlo {

std::string_view defaultExtensionIdentifier() { return FERLO_DEFAULT_EXTENSION_IDENTIFIER; }
std::string_view defaultHostBundleIdentifier() { return FERLO_DEFAULT_HOST_BUNDLE_IDENTIFIER; }
std::string_view defaultTeamIdentifier() { return FERLO_DEFAULT_TEAM_IDENTIFIER; }
std::string_view defaultAppGroupIdentifier() { return FERLO_DEFAULT_APP_GROUP_IDENTIFIER; }

std::string deriveAppGroupIdentifier(const std::optional<InfoValue>& infoValue) {
  if (infoValue && infoValue->kind == InfoValue::Kind::text && !infoValue->text.empty()) {
    return infoValue->text;
  }
  return std::string(defaultAppGroupIdentifier());
}

std::string deriveHostBundleIdentifier(const std::optional<std::string>& extensionIdentifier) {
  std::string_view id = extensionIdentifier ? std::string_view(*extensionIdentifier) : defaultExtensionIdentifier();
  std::vector<std::string_view> components;
  std::size_t start = 0;
  while (start <= id.size()) {
    std::size_t dot = id.find('.', start);
    if (dot == std::string_view::npos) dot = id.size();
    if (dot > start) components.push_back(id.substr(start, dot - start));
    start = dot + 1;
  }
  if (!components.empty()) components.pop_back();
  std::string host;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) host.push_back('.');
    host.append(components[i]);
  }
  return host;
}

const std::string& Identity::appGroupIdentifier() const {
  std::call_once(appGroupOnce_, [this] {
    appGroup_ = deriveAppGroupIdentifier(platform_.objectForInfoDictionaryKey(kAppGroupInfoKey));
  });
  return appGroup_;
}

const std::string& Identity::hostBundleIdentifier() const {
  std::call_once(hostOnce_, [this] { host_ = deriveHostBundleIdentifier(platform_.bundleIdentifier()); });
  return host_;
}

}  // namespace ferlo
