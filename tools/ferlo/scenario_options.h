// The scenario options shared by info, menu, click, send and doctor: what
// the stand-in platform shows the extension (bundle, Info.plist, containers,
// selection, running applications, user database, resources, locale).
//
// Each parser gives a value or a usage message; nothing here exits.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"
#include "platform/file_url.h"
#include "platform/platform.h"
#include "platform/stand_in/bundle_reader.h"
#include "tools/ferlo/command_line.h"

namespace ferlo::cli {

struct ScenarioOptions {
  std::uint64_t kind = 0;
  std::optional<std::vector<FileURL>> selection;  // none without any --select
  std::optional<FileURL> target;
  std::optional<std::string> groupContainers;
  // --bundle-id / --no-bundle-id: the last one given counts.
  bool bundleIdGiven = false;
  std::optional<std::string> bundleId;  // none with --no-bundle-id
  std::map<std::string, InfoValue, std::less<>> info;
  std::optional<FileURL> bundleURL;
  std::vector<std::string> running;
  bool hostRunning = false;
  // --user-home / --no-user-entry: the last one given counts.
  std::optional<std::string> userHome;
  bool noUserEntry = false;
  std::optional<std::string> platformHome;
  std::optional<std::string> resources;
  std::optional<std::string> locale;
  std::optional<std::string> onOpen;
  std::optional<std::uint64_t> processId;  // none: the program's own
  // --bundle: the bundle's directory (absolute, no final "/"); after
  // loadScenarioBundle, what was read from it or why nothing could be.
  std::optional<std::string> bundlePath;
  Decoded<BundleContents> bundle;
};

// The option syntaxes of the scenario options, to be joined with a command's own.
[[nodiscard]] std::span<const OptionSyntax> scenarioOptionSyntaxs();

// Applies `option` to `options` when it is a scenario option: true when it
// is one, false for an option of another kind (left to the command), or the
// usage message (the why) when its value is refused.
[[nodiscard]] Decoded<bool> applyScenarioOption(ScenarioOptions& options, const ParsedOption& option);

// Reads the bundle named by --bundle, if any, into `options.bundle`: its
// contents or the reason it cannot be read.
void loadScenarioBundle(ScenarioOptions& options);

// A Finder item: "file://" URL text (scheme and host in any case) taken as
// it stands, or an absolute path made into a file URL without looking at
// the file system (a final "/" is the folder mark). None for anything else.
//   parseItem("/a/b/") -> file:///a/b/      parseItem("file:///a%20b") -> as given
[[nodiscard]] std::optional<FileURL> parseItem(std::string_view text);

// A menu kind: a decimal number, or items (0), container (1), sidebar (2),
// toolbar (3).
[[nodiscard]] std::optional<std::uint64_t> parseMenuKind(std::string_view text);

// The name of a menu kind ("items", …) or "" for a kind without one.
[[nodiscard]] std::string_view menuKindName(std::uint64_t kind);

// A signed 64-bit decimal integer, optionally with a leading "-" or "+",
// nothing else around it.
[[nodiscard]] std::optional<std::int64_t> parseInt64(std::string_view text);

struct InfoAssignment {
  std::string key;
  InfoValue value;
};

// "KEY=JSON": the key (not empty) and the value typed by its JSON: string as
// text, number, true/false as boolean, array as list, object as dictionary.
// Gives a usage message (the why) for a missing "=", an empty key, JSON that
// does not parse, or null anywhere (an Info.plist has no null).
[[nodiscard]] Decoded<InfoAssignment> parseInfoAssignment(std::string_view text);

// `path` made absolute against the current directory (unchanged when that
// cannot be found) and tidied: no "." or empty components, leading ".." of a
// relative path resolved against the current directory, a final "/" kept.
//   absolutePath("./gc/.") == "/cwd/gc"      absolutePath("/a//b/") == "/a/b/"
[[nodiscard]] std::string absolutePath(std::string_view path);

}  // namespace ferlo::cli
