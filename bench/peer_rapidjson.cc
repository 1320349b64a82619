#include "bench/peer_decoders.h"

// RapidJSON at its best on this machine: SSE4.2 to skip white space.
#if defined(__SSE4_2__)
#define RAPIDJSON_SSE42
#endif
#include <rapidjson/document.h>

namespace ferlo::bench {
namespace {

// The value of the last member called `name`, or null: FindMember would give
// the first, and ours (and nlohmann) let the last one count.
const rapidjson::Value* lastMember(const rapidjson::Value& object, std::string_view name) {
  const rapidjson::Value* found = nullptr;
  for (auto member = object.MemberBegin(); member != object.MemberEnd(); ++member) {
    if (std::string_view(member->name.GetString(), member->name.GetStringLength()) == name) {
      found = &member->value;
    }
  }
  return found;
}

std::string_view textOf(const rapidjson::Value& value) { return {value.GetString(), value.GetStringLength()}; }

}  // namespace

std::optional<RuleManifest> decodeWithRapidJson(std::string_view bytes) {
  rapidjson::Document document;
  // Validating UTF-8, as ours and nlohmann do.
  document.Parse<rapidjson::kParseValidateEncodingFlag>(bytes.data(), bytes.size());
  if (document.HasParseError() || !document.IsObject()) return std::nullopt;

  const rapidjson::Value* rules = lastMember(document, "rules");
  if (rules == nullptr || !rules->IsArray()) return std::nullopt;

  RuleManifest manifest;
  manifest.rules.reserve(rules->Size());
  for (const rapidjson::Value& rule : rules->GetArray()) {
    if (!rule.IsObject()) return std::nullopt;
    const rapidjson::Value* id = lastMember(rule, "id");
    const rapidjson::Value* name = lastMember(rule, "name");
    if (id == nullptr || name == nullptr || !id->IsString() || !name->IsString()) return std::nullopt;
    std::optional<Uuid> uuid = parseUuid(textOf(*id));
    if (!uuid) return std::nullopt;
    manifest.rules.push_back({*uuid, std::string(textOf(*name))});
  }

  const rapidjson::Value* roots = lastMember(document, "watchedRoots");
  if (roots != nullptr && !roots->IsNull()) {
    if (!roots->IsArray()) return std::nullopt;
    std::vector<std::string>& list = manifest.watchedRoots.emplace();
    list.reserve(roots->Size());
    for (const rapidjson::Value& root : roots->GetArray()) {
      if (!root.IsString()) return std::nullopt;
      list.emplace_back(textOf(root));
    }
  }
  return manifest;
}

}  // namespace ferlo::bench
