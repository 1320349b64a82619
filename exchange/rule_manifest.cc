#include "exchange/rule_manifest.h"

#include <simdjson.h>

#include <cstring>

#include "exchange/json_document.h"
#include "exchange/json_writer.h"
#include "exchange/shared_container.h"

namespace ferlo {

namespace jd = json_document;
namespace dom = simdjson::dom;

std::string_view codingKeyText(RuleManifest::CodingKeys key) {
  switch (key) {
    case RuleManifest::CodingKeys::rules: return "rules";
    case RuleManifest::CodingKeys::watchedRoots: return "watchedRoots";
  }
  return {};
}

std::string_view codingKeyText(RuleManifest::Rule::CodingKeys key) {
  switch (key) {
    case RuleManifest::Rule::CodingKeys::id: return "id";
    case RuleManifest::Rule::CodingKeys::name: return "name";
  }
  return {};
}

namespace {

constexpr std::string_view kRulesKey = "rules";
constexpr std::string_view kWatchedRootsKey = "watchedRoots";
constexpr std::string_view kIdKey = "id";
constexpr std::string_view kNameKey = "name";

// Why `text` is not a UUID in text form, pointing at the first thing wrong.
std::string uuidFormProblem(std::string_view text) {
  std::string why = "not in UUID text form (expected 36 characters like 0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30, ";
  if (text.size() != 36) {
    std::size_t characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    why += "got " + std::to_string(characters) + (characters == 1 ? " character: " : " characters: ");
  } else {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
      const char c = text[i];
      const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      if (hyphenPlace && c != '-') {
        why += "character " + std::to_string(i + 1) + " should be \"-\"; got ";
        break;
      }
      if (!hyphenPlace && !hex) {
        why += "character " + std::to_string(i + 1) + " is not a hexadecimal digit; got ";
        break;
      }
    }
  }
  why += jd::quoted(text) + ")";
  return why;
}

// Whether a member name is exactly `expected`: the length first, then the
// bytes, compared with a constant length so that it compiles to a load and
// a compare instead of a call to memcmp. It runs for every member of every
// rule.
template <std::size_t n>
bool keyIs(std::string_view key, const char (&expected)[n]) {
  return key.size() == n - 1 && std::memcmp(key.data(), expected, n - 1) == 0;
}

// The diagnostic for a rule that is not an object or lacks a member; kept
// out of line, off the path of well-formed rules.
[[gnu::noinline]] void ruleShapeError(dom::element value, std::size_t index, bool isObject, bool hasId,
                                      DecodeError& error) {
  if (!isObject) {
    error = {jd::elementPath(kRulesKey, index), jd::expectedGot("a rule object", value)};
  } else {
    error = {jd::elementPath(kRulesKey, index), jd::missingMember(hasId ? kNameKey : kIdKey)};
  }
}

// One rule object at rules[index], appended to `rules`; every member is
// looked at once, and of a repeated name the last occurrence counts.
bool decodeRule(dom::element value, std::size_t index, std::vector<RuleManifest::Rule>& rules, DecodeError& error) {
  dom::object object;
  if (value.get(object)) {
    ruleShapeError(value, index, false, false, error);
    return false;
  }
  dom::element id;
  dom::element name;
  bool hasId = false;
  bool hasName = false;
  for (const dom::key_value_pair field : object) {
    if (keyIs(field.key, "id")) {
      id = field.value;
      hasId = true;
    } else if (keyIs(field.key, "name")) {
      name = field.value;
      hasName = true;
    }
  }
  if (!hasId || !hasName) {
    ruleShapeError(value, index, true, hasId, error);
    return false;
  }
  std::string_view idText;
  if (id.get(idText)) {
    error = {jd::memberPath(jd::elementPath(kRulesKey, index), kIdKey),
             jd::expectedGot("a string in UUID text form", id)};
    return false;
  }
  const std::optional<Uuid> uuid = parseUuid(idText);
  if (!uuid) {
    error = {jd::memberPath(jd::elementPath(kRulesKey, index), kIdKey), uuidFormProblem(idText)};
    return false;
  }
  std::string_view nameText;
  if (name.get(nameText)) {
    error = {jd::memberPath(jd::elementPath(kRulesKey, index), kNameKey), jd::expectedGot("a string", name)};
    return false;
  }
  // Built in place: one allocation for a long name, none for a short one,
  // and no temporary to move.
  RuleManifest::Rule& rule = rules.emplace_back();
  rule.id = *uuid;
  rule.name.assign(nameText);
  return true;
}

Decoded<RuleManifest> decodeRoot(dom::element root) {
  Decoded<RuleManifest> result;
  dom::object top;
  if (root.get(top)) {
    result.error = {"", "the top level must be an object, got " + std::string(jd::describe(root))};
    return result;
  }
  dom::element rulesValue;
  dom::element rootsValue;
  bool hasRules = false;
  bool hasRoots = false;
  for (const dom::key_value_pair field : top) {
    if (keyIs(field.key, "rules")) {
      rulesValue = field.value;
      hasRules = true;
    } else if (keyIs(field.key, "watchedRoots")) {
      rootsValue = field.value;
      hasRoots = true;
    }
  }

  RuleManifest manifest;
  if (!hasRules) {
    result.error = {"", jd::missingMember(kRulesKey)};
    return result;
  }
  dom::array rules;
  if (rulesValue.get(rules)) {
    result.error = {std::string(kRulesKey), jd::expectedGot("an array of rule objects", rulesValue)};
    return result;
  }
  manifest.rules.reserve(rules.size());
  std::size_t index = 0;
  for (const dom::element rule : rules) {
    if (!decodeRule(rule, index, manifest.rules, result.error)) return result;
    ++index;
  }

  if (hasRoots && !rootsValue.is_null()) {
    manifest.watchedRoots.emplace();
    if (!jd::readStringArray(rootsValue, kWatchedRootsKey, "an array of strings or null", *manifest.watchedRoots,
                             result.error)) {
      return result;
    }
  }
  result.value = std::move(manifest);
  return result;
}

}  // namespace

Decoded<RuleManifest> decodeRuleManifest(std::string_view bytes) {
  dom::parser parser;
  dom::element root;
  Decoded<RuleManifest> result;
  if (!jd::parseDocument(parser, bytes, root, result.error)) return result;
  return decodeRoot(root);
}

Decoded<RuleManifest> decodeRuleManifest(const std::string& bytes) {
  dom::parser parser;
  dom::element root;
  Decoded<RuleManifest> result;
  if (!jd::parseDocument(parser, bytes, root, result.error)) return result;
  return decodeRoot(root);
}

std::string encodeRuleManifest(const RuleManifest& manifest) {
  // A manifest is text the host made; a name or root that is not valid UTF-8
  // still gives one valid JSON text, repaired by the one replacement rule.
  JsonWriter writer({.replaceInvalidUtf8 = true});
  writer.beginObject();
  writer.key(codingKeyText(RuleManifest::CodingKeys::rules));
  writer.beginArray();
  for (const RuleManifest::Rule& rule : manifest.rules) {
    writer.beginObject();
    writer.key(codingKeyText(RuleManifest::Rule::CodingKeys::id));
    writer.string(rule.id.uuidString());
    writer.key(codingKeyText(RuleManifest::Rule::CodingKeys::name));
    writer.string(rule.name);
    writer.endObject();
  }
  writer.endArray();
  if (manifest.watchedRoots) {
    writer.key(codingKeyText(RuleManifest::CodingKeys::watchedRoots));
    writer.beginArray();
    for (const std::string& root : *manifest.watchedRoots) writer.string(root);
    writer.endArray();
  }
  writer.endObject();
  return std::move(writer.finish()).value_or(std::string());
}

RuleManifestReading readRuleManifest(Platform& platform, const Identity& identity) {
  RuleManifestReading reading;
  const std::optional<FileURL> container = sharedContainerURL(platform, identity);
  if (!container) return reading;
  reading.file = container->appendingPathComponent(kRulesFileName);
  std::optional<std::string> bytes = platform.readWholeFile(*reading.file);
  if (!bytes) {
    reading.outcome = RuleManifestReading::Outcome::unreadable;
    return reading;
  }
  // Decoded as decodeRuleManifest does, but the file's bytes are let go as
  // soon as the parser holds everything (its tape and its copies of the
  // strings): the records are then built without the file still in memory,
  // which keeps the peak of a large manifest near three times its size
  // instead of four.
  dom::parser parser;
  dom::element root;
  reading.outcome = RuleManifestReading::Outcome::undecodable;
  if (!jd::parseDocument(parser, *bytes, root, reading.manifest.error)) return reading;
  bytes.reset();
  reading.manifest = decodeRoot(root);
  if (reading.manifest) reading.outcome = RuleManifestReading::Outcome::loaded;
  return reading;
}

std::optional<RuleManifest> loadRuleManifest(Platform& platform, const Identity& identity) {
  return std::move(readRuleManifest(platform, identity).manifest.value);
}

}  // namespace ferlo
