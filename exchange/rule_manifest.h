// RuleManifest: the host application's rules and watched folders, read from
// "rules.json" in the shared container.
//
// Decoding is strict: one JSON text whose top level is an object; "rules" an
// array of objects each with an "id" in UUID text form and a string "name";
// "watchedRoots" absent, null, or an array of strings. Any breach fails the
// whole manifest. Members that map to no key are ignored whatever they hold.
// A member name that occurs twice in one object: the last occurrence counts,
// as with most JSON readers; the earlier ones are ignored like unknown members.
//
// The whole text is validated before any value is taken, ignored members
// included: it must be UTF-8, escapes must be valid ("\ud800" and other lone
// surrogate escapes are refused), arrays and objects may nest at most 1024
// levels deep (the top level counting as one), and numbers must be within
// what the parser holds: integers up to the 64-bit unsigned range, other
// values within the range of a double. The size of the text has no limit of
// our own (the parser's is 4 GiB). A failure says where ("rules[2].id", or
// "" for the document) and why, for the `ferlo check` command.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"
#include "exchange/identity.h"
#include "exchange/uuid.h"
#include "platform/platform.h"

namespace ferlo {

struct RuleManifest {
  struct Rule {
    enum class CodingKeys { id, name };

    Uuid id;
    std::string name;

    friend bool operator==(const Rule&, const Rule&) = default;
  };

  enum class CodingKeys { rules, watchedRoots };

  std::vector<Rule> rules;
  std::optional<std::vector<std::string>> watchedRoots;

  friend bool operator==(const RuleManifest&, const RuleManifest&) = default;
};

[[nodiscard]] std::string_view codingKeyText(RuleManifest::CodingKeys key);
[[nodiscard]] std::string_view codingKeyText(RuleManifest::Rule::CodingKeys key);

// Decodes a manifest. Works on any bytes; when `bytes` is a std::string whose
// capacity leaves kReadPadding bytes beyond its size (as readWholeFile gives)
// the bytes are parsed in place, otherwise they are copied once.
[[nodiscard]] Decoded<RuleManifest> decodeRuleManifest(std::string_view bytes);
[[nodiscard]] Decoded<RuleManifest> decodeRuleManifest(const std::string& bytes);

// The manifest's JSON text: compact, "rules" then "watchedRoots" (left out
// when absent), ids in upper case, "/" written as "\/". Always one valid JSON
// text: a name or root that is not valid UTF-8 is written with one U+FFFD for
// each maximal invalid subpart (base/utf8.h).
[[nodiscard]] std::string encodeRuleManifest(const RuleManifest& manifest);

// One reading of the shared container's "rules.json": the manifest, or why
// there is none.
struct RuleManifestReading {
  enum class Outcome { loaded, noContainer, unreadable, undecodable };

  Outcome outcome = Outcome::noContainer;
  std::optional<FileURL> file;     // the file looked for; none without a container
  Decoded<RuleManifest> manifest;  // the value when loaded; where and why when undecodable

  explicit operator bool() const { return outcome == Outcome::loaded; }
};

// Reads and decodes "rules.json" as decodeRuleManifest does. The file's bytes
// are let go as soon as the parser holds everything, so that a large
// manifest's peak stays near three times its size.
[[nodiscard]] RuleManifestReading readRuleManifest(Platform& platform, const Identity& identity);

// The manifest of readRuleManifest, or none when there is no container, the
// file cannot be read, or it does not decode.
[[nodiscard]] std::optional<RuleManifest> loadRuleManifest(Platform& platform, const Identity& identity);

}  // namespace ferlo
