// Set-up shared by the reliability tests: a real shared container in a
// temporary directory, a PosixPlatform on which the host runs, and the
// extension on top of it, optionally with the atomic write's system calls
// replaced so that a test can break any one of them.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "exchange/rule_manifest.h"
#include "exchange/tool_request.h"
#include "extension/command_table.h"
#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "extension/menu.h"
#include "platform/files/file_io.h"
#include "platform/stand_in/posix_platform.h"
#include "tests/platform/test_support.h"
#include "tests/support/case_names.h"

namespace ferlo::reliability {

FERLO_PRINT_CASES_BY_NAME()

using namespace ferlo::testing;

inline constexpr const char* kGroup = "group.reliability";
inline constexpr const char* kHostId = "com.example.Host";
inline constexpr const char* kRequestName = "tool-request.json";
inline constexpr const char* kRulesName = "rules.json";

// A temporary group-containers root holding the container of kGroup.
class Container {
 public:
  Container() { ::mkdir(path().c_str(), 0755); }
  [[nodiscard]] std::string path() const { return root_ / kGroup; }
  [[nodiscard]] std::string operator/(const std::string& name) const { return path() + "/" + name; }

  // A PosixPlatform whose host runs and whose container is this one, with
  // the Finder's selection as given.
  [[nodiscard]] PosixPlatformConfig config(std::optional<std::vector<FileURL>> selection = std::nullopt) const {
    PosixPlatformConfig config;
    config.groupContainersRoot = root_.path();
    config.bundleIdentifier = std::string(kHostId) + ".FinderSync";
    config.infoDictionary.emplace("TarvelinAppGroup", InfoValue::makeText(kGroup));
    config.bundleURL = FileURL::fileURLWithPath("/Applications/Host.app/Contents/PlugIns/Ext.appex", true);
    config.userHomeOverride = "/home/user";
    config.runningBundleIdentifiers.insert(kHostId);
    config.selectedItemURLs = std::move(selection);
    config.resourcesDirectory = FERLO_RESOURCES_DIR;
    return config;
  }

 private:
  TempDir root_;
};

// Two folders, the first and second selected, and a file below the watched
// root "/home/user/w": every command has something to work on.
inline std::vector<FileURL> selection() {
  return {FileURL::fileURLWithPath("/home/user/One", true), FileURL::fileURLWithPath("/home/user/Two", true),
          FileURL::fileURLWithPath("/home/user/w/a.txt", false)};
}

// The four commands, each with the request it writes on selection().
struct CommandCase { const char* name; Selector selector; Sender sender; const char* expectedRequest; };

inline const CommandCase kCommands[] = {
    {"RunRule", Selector::runRule, Sender::withString(kRuleId),
     R"({"action":"runRule","folders":["\/home\/user\/One"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})"},
    {"Flatten", Selector::runFlatten, Sender{}, R"({"action":"flattenFolder","folders":["\/home\/user\/One"]})"},
    {"Merge", Selector::runMergeSelected, Sender{},
     R"({"action":"mergeFolders","folders":["\/home\/user\/One","\/home\/user\/Two"]})"},
    {"Expiry", Selector::setExpiry, Sender::withTag(7),
     R"({"action":"expireFiles","folders":[],"files":["\/home\/user\/w\/a.txt"],"days":7})"},
};

// The POSIX stand-in with the atomic write going through `calls`.
struct InjectingPlatform : PosixPlatform {
  InjectingPlatform(PosixPlatformConfig config, FileCalls& calls) : PosixPlatform(std::move(config)), calls(calls) {}
  bool writeFileAtomically(const FileURL& url, std::string_view bytes) override {
    const std::string path = url.path();
    return ferlo::writeFileAtomically(path.substr(0, path.rfind('/')), path.substr(path.rfind('/') + 1), bytes, calls);
  }
  FileCalls& calls;
};

// The extension running on a platform of type P made from `args`.
template <class P = PosixPlatform>
struct Extension {
  template <class... Args>
  explicit Extension(Args&&... args) : platform(std::forward<Args>(args)...) {}
  P platform;
  ExtensionContext context{platform};
  FinderSync finderSync{context};
};

// A readable dump of a menu tree that names every property (an object and a
// key equivalent only when there is one), so that a failed comparison shows
// exactly which property of which item differs.
inline std::string describe(const Menu& menu, int depth = 0) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  std::ostringstream out;
  out << indent << "menu [" << menu.title << "]\n";
  for (const MenuItem& item : menu.items) {
    out << indent << "  [" << item.title << "]";
    if (item.attributedTitle) out << " styled=[" << item.attributedTitle->string << "]";
    const auto& image = item.image;
    if (image) out << " image=" << image->name << "@" << image->width << "x" << image->height << (image->isTemplate ? ",template" : "");
    // A rule item's tag is fresh at every build; whether it finds its rule
    // is tested on its own, and here it only has to be there.
    out << " action=" << (item.action == Selector::none ? "none" : std::string(selectorName(item.action)))
        << " target=" << (item.targetsPrincipal ? "principal" : "none")
        << " tag=" << (item.action == Selector::runRule && item.tag != 0 ? "fresh" : std::to_string(item.tag))
        << (item.representedObject ? " object=[" + *item.representedObject + "]" : "")
        << (item.enabled ? " enabled" : " disabled") << (item.isSeparator ? " separator" : "")
        << (item.keyEquivalent.empty() ? "" : " key=[" + item.keyEquivalent + "]") << "\n";
    if (item.submenu) out << describe(*item.submenu, depth + 2);
  }
  return out.str();
}

// A manifest text with `count` rules named "rule <n>" and the given roots.
inline std::string manifestText(std::size_t count, const std::vector<std::string>& roots = {}) {
  RuleManifest manifest;
  manifest.watchedRoots = roots;
  for (std::size_t i = 0; i < count; ++i) manifest.rules.push_back({*parseUuid(kRuleId), "rule " + std::to_string(i)});
  return encodeRuleManifest(manifest);
}

}  // namespace ferlo::reliability
