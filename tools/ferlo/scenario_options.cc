#include "tools/ferlo/scenario_options.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <simdjson.h>
#include <vector>

#include "tools/ferlo/json_output.h"

namespace ferlo::cli {
namespace {

constexpr std::array kScenarioOptions = {
    OptionSyntax{"kind", true},          OptionSyntax{"select", true},          OptionSyntax{"target", true},
    OptionSyntax{"group-containers", true}, OptionSyntax{"bundle-id", true},    OptionSyntax{"no-bundle-id", false},
    OptionSyntax{"info", true},          OptionSyntax{"bundle-url", true},      OptionSyntax{"running", true},
    OptionSyntax{"host-running", false}, OptionSyntax{"user-home", true},       OptionSyntax{"no-user-entry", false},
    OptionSyntax{"platform-home", true}, OptionSyntax{"resources", true},       OptionSyntax{"locale", true},
    OptionSyntax{"on-open", true},       OptionSyntax{"process-id", true},      OptionSyntax{"bundle", true},
};

struct KindName {
  std::string_view name;
  std::uint64_t kind;
};
constexpr std::array kKindNames = {KindName{"items", 0}, KindName{"container", 1}, KindName{"sidebar", 2},
                                   KindName{"toolbar", 3}};

// An Info.plist value for a JSON element, or the reason there is none.
Decoded<InfoValue> infoValueFor(simdjson::dom::element element) {
  using simdjson::dom::element_type;
  switch (element.type()) {
    case element_type::STRING: {
      std::string_view text;
      if (element.get_string().get(text) != simdjson::SUCCESS) break;
      return InfoValue::makeText(std::string(text));
    }
    case element_type::INT64: {
      std::int64_t n = 0;
      if (element.get_int64().get(n) != simdjson::SUCCESS) break;
      return InfoValue::makeNumber(static_cast<double>(n));
    }
    case element_type::UINT64: {
      std::uint64_t n = 0;
      if (element.get_uint64().get(n) != simdjson::SUCCESS) break;
      return InfoValue::makeNumber(static_cast<double>(n));
    }
    case element_type::DOUBLE: {
      double n = 0;
      if (element.get_double().get(n) != simdjson::SUCCESS) break;
      return InfoValue::makeNumber(n);
    }
    case element_type::BOOL: {
      bool b = false;
      if (element.get_bool().get(b) != simdjson::SUCCESS) break;
      return InfoValue::makeBoolean(b);
    }
    case element_type::ARRAY: {
      simdjson::dom::array array;
      if (element.get_array().get(array) != simdjson::SUCCESS) break;
      InfoValue list;
      list.kind = InfoValue::Kind::list;
      for (simdjson::dom::element child : array) {
        Decoded<InfoValue> value = infoValueFor(child);
        if (!value) return value.error;
        list.list.push_back(std::move(*value));
      }
      return list;
    }
    case element_type::OBJECT: {
      simdjson::dom::object object;
      if (element.get_object().get(object) != simdjson::SUCCESS) break;
      InfoValue dictionary;
      dictionary.kind = InfoValue::Kind::dictionary;
      for (simdjson::dom::key_value_pair field : object) {
        Decoded<InfoValue> value = infoValueFor(field.value);
        if (!value) return value.error;
        dictionary.dictionary.emplace_back(std::string(field.key), std::move(*value));
      }
      return dictionary;
    }
    case element_type::NULL_VALUE:
      return DecodeError{"", "null has no Info.plist form"};
  }
  return DecodeError{"", "unreadable JSON value"};
}

bool hasFileScheme(std::string_view text) {
  constexpr std::string_view kScheme = "file:";
  if (text.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');  // schemes are case-insensitive
    if (c != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

std::span<const OptionSyntax> scenarioOptionSyntaxs() { return kScenarioOptions; }

std::optional<FileURL> parseItem(std::string_view text) {
  if (hasFileScheme(text)) return FileURL::fromString(text);
  if (text.starts_with("/")) return FileURL::fileURLWithPath(text, text.ends_with("/"));
  return std::nullopt;
}

std::optional<std::uint64_t> parseMenuKind(std::string_view text) {
  for (const KindName& entry : kKindNames) {
    if (entry.name == text) return entry.kind;
  }
  std::uint64_t kind = 0;
  const char* end = text.data() + text.size();
  if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
  auto [ptr, ec] = std::from_chars(text.data(), end, kind);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return kind;
}

std::string_view menuKindName(std::uint64_t kind) {
  for (const KindName& entry : kKindNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "";
}

std::optional<std::int64_t> parseInt64(std::string_view text) {
  if (text.starts_with("+")) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  const char* begin = text.data();
  const char* end = begin + text.size();
  // from_chars accepts a leading "-" but nothing after it must be another sign.
  if (text[0] == '-' && (text.size() < 2 || text[1] < '0' || text[1] > '9')) return std::nullopt;
  std::int64_t n = 0;
  auto [ptr, ec] = std::from_chars(begin, end, n);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return n;
}

Decoded<InfoAssignment> parseInfoAssignment(std::string_view text) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) return DecodeError{"", "--info wants KEY=JSON, got " + jsonQuoted(text)};
  const std::string_view key = text.substr(0, eq);
  if (key.empty()) return DecodeError{"", "--info wants a key before '=', got " + jsonQuoted(text)};
  simdjson::dom::parser parser;
  const simdjson::padded_string json(text.substr(eq + 1));
  simdjson::dom::element root;
  if (const auto error = parser.parse(json).get(root); error != simdjson::SUCCESS) {
    return DecodeError{"", "--info " + std::string(key) + ": not JSON (" + simdjson::error_message(error) +
                               "); a text value needs its quotes, e.g. " + std::string(key) + "='\"group.x\"'"};
  }
  Decoded<InfoValue> value = infoValueFor(root);
  if (!value) return DecodeError{"", "--info " + std::string(key) + ": " + value.error.why};
  return InfoAssignment{std::string(key), std::move(*value)};
}

std::string absolutePath(std::string_view path) {
  std::string cwd;
  if (!path.starts_with("/")) {
    cwd.assign(4096, '\0');
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE) return std::string(path);
      cwd.resize(cwd.size() * 2);
    }
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  }
  // Lexically tidied: "." and empty components go, and a ".." that leads the
  // relative part steps up from the working directory (which getcwd gives
  // free of symbolic links, so that is where the system would go too). Any
  // other ".." stays: only the file system knows what it leads to.
  std::vector<std::string_view> kept;
  std::size_t fromCwd = 0;
  const auto addComponents = [&](std::string_view text, bool isCwd) {
    while (!text.empty()) {
      const std::size_t slash = text.find('/');
      const std::string_view part = text.substr(0, slash);
      text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
      if (part.empty() || part == "." || (part == ".." && kept.empty())) continue;  // "/.." is "/"
      if (part == ".." && !isCwd && kept.size() == fromCwd && fromCwd > 0) {
        kept.pop_back();
        --fromCwd;
        continue;
      }
      kept.push_back(part);
      if (isCwd) ++fromCwd;
    }
  };
  addComponents(cwd, true);
  addComponents(path, false);
  std::string out;
  for (const std::string_view part : kept) out.append("/").append(part);
  if (out.empty()) out = "/";
  if (path.ends_with("/") && out != "/") out.push_back('/');
  return out;
}

void loadScenarioBundle(ScenarioOptions& options) {
  options.bundle = {};
  if (options.bundlePath) options.bundle = readBundle(*options.bundlePath);
}

Decoded<bool> applyScenarioOption(ScenarioOptions& options, const ParsedOption& option) {
  const std::string& name = option.name;
  const std::string& value = option.value;
  const auto refused = [](std::string why) { return DecodeError{"", std::move(why)}; };
  const auto badItem = [&] {
    std::string message = "--" + name + " wants a file:// URL or an absolute path, got " + jsonQuoted(value);
    if (hasFileScheme(value)) message += " (not a valid file URL)";
    return refused(std::move(message));
  };
  if (name == "kind") {
    auto kind = parseMenuKind(value);
    if (!kind) {
      return refused("--kind wants a number from 0 up or one of items, container, sidebar, toolbar; got " +
                     jsonQuoted(value));
    }
    options.kind = *kind;
  } else if (name == "select" || name == "target" || name == "bundle-url") {
    auto url = parseItem(value);
    if (!url) return badItem();
    if (name == "select") {
      if (!options.selection) options.selection.emplace();
      options.selection->push_back(std::move(*url));
    } else if (name == "target") {
      options.target = std::move(*url);
    } else {
      options.bundleURL = std::move(*url);
    }
  } else if (name == "group-containers") {
    // An empty value is a slip (an unset shell variable), not a request for
    // the working directory or for no containers at all.
    if (value.empty()) return refused("--group-containers wants a directory, got \"\"");
    options.groupContainers = absolutePath(value);
  } else if (name == "bundle-id") {
    options.bundleIdGiven = true;
    options.bundleId = value;
  } else if (name == "no-bundle-id") {
    options.bundleIdGiven = true;
    options.bundleId.reset();
  } else if (name == "info") {
    Decoded<InfoAssignment> assignment = parseInfoAssignment(value);
    if (!assignment) return assignment.error;
    options.info.insert_or_assign(std::move(assignment.value->key), std::move(assignment.value->value));
  } else if (name == "running") {
    // No application has an empty bundle identifier, so an empty host
    // identifier must never find one running.
    if (!value.empty()) options.running.push_back(value);
  } else if (name == "host-running") {
    options.hostRunning = true;
  } else if (name == "user-home") {
    options.userHome = absolutePath(value);
    options.noUserEntry = false;
  } else if (name == "no-user-entry") {
    options.userHome.reset();
    options.noUserEntry = true;
  } else if (name == "platform-home") {
    options.platformHome = absolutePath(value);
  } else if (name == "resources") {
    options.resources = absolutePath(value);
  } else if (name == "locale") {
    options.locale = value;
  } else if (name == "process-id") {
    // The rule items' tags keep the identifier modulo 2^17, which holds
    // every macOS process identifier: a larger one would be folded.
    const auto id = parseInt64(value);
    if (!id || *id < 0 || *id >= 1 << 17) {
      return refused("--process-id wants an integer from 0 to 131071, got " + jsonQuoted(value));
    }
    options.processId = static_cast<std::uint64_t>(*id);
  } else if (name == "on-open") {
    options.onOpen = value;
  } else if (name == "bundle") {
    if (value.empty()) return refused("--bundle wants a directory, got \"\"");  // not the working directory
    std::string path = absolutePath(value);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    options.bundlePath = std::move(path);
  } else {
    return false;
  }
  return true;
}

}  // namespace ferlo::cli
