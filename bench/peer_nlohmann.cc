#include "bench/peer_decoders.h"

#include <nlohmann/json.hpp>

namespace ferlo::bench {

std::optional<RuleManifest> decodeWithNlohmann(std::string_view bytes) {
  // No exceptions: a text that does not parse comes back "discarded".
  const nlohmann::json document = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (document.is_discarded() || !document.is_object()) return std::nullopt;

  // nlohmann keeps the last of a repeated member name, as ours does.
  const auto rules = document.find("rules");
  if (rules == document.end() || !rules->is_array()) return std::nullopt;

  RuleManifest manifest;
  manifest.rules.reserve(rules->size());
  for (const nlohmann::json& rule : *rules) {
    if (!rule.is_object()) return std::nullopt;
    const auto id = rule.find("id");
    const auto name = rule.find("name");
    if (id == rule.end() || name == rule.end() || !id->is_string() || !name->is_string()) return std::nullopt;
    std::optional<Uuid> uuid = parseUuid(id->get_ref<const std::string&>());
    if (!uuid) return std::nullopt;
    manifest.rules.push_back({*uuid, name->get<std::string>()});
  }

  const auto roots = document.find("watchedRoots");
  if (roots != document.end() && !roots->is_null()) {
    if (!roots->is_array()) return std::nullopt;
    std::vector<std::string>& list = manifest.watchedRoots.emplace();
    list.reserve(roots->size());
    for (const nlohmann::json& root : *roots) {
      if (!root.is_string()) return std::nullopt;
      list.push_back(root.get<std::string>());
    }
  }
  return manifest;
}

}  // namespace ferlo::bench
