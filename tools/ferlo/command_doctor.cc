// ferlo doctor: walks the chain the menu depends on, in the order the menu
// build meets it, and says which link would leave the Finder's menu empty.
// The verdict (and exit status) comes from actually building the menu; the
// steps explain it.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "exchange/identity.h"
#include "exchange/rule_manifest.h"
#include "exchange/shared_container.h"
#include "platform/posix/localizer.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/file_read.h"
#include "tools/ferlo/json_output.h"
#include "tools/ferlo/menu_path.h"
#include "tools/ferlo/program_location.h"
#include "tools/ferlo/scenario.h"

namespace ferlo::cli {
namespace {

enum class Status { ok, warn, fail };

struct Step {
  Status status;
  std::string name;
  std::string detail;
};

std::string doctorHelp() {
  return "Usage: ferlo doctor [options]\n"
         "\n"
         "Explains why the extension's menu would or would not show. One line per\n"
         "step, in the order the menu build meets them, each beginning \"ok\",\n"
         "\"warn\" (does not empty the menu) or \"FAIL\" (empties it):\n"
         "  kind, identity (bundle and host identifier), host (does it run),\n"
         "  app group (and where it came from), container, rules.json, glyph,\n"
         "  localisation, selection, hand-off (the host application's path)\n"
         "then one line:\n"
         "  result: the full menu would show\n"
         "  result: the menu would be empty: STEP: REASON\n"
         "Control characters and bytes that are not UTF-8 in paths show as \\n, \\t,\n"
         "\\r or \\xHH, so that each step stays one line.\n"
         "\n" +
         scenarioOptionsHelp() +
         "\nExit status: 0 when the full menu would show, 1 when it would be empty,\n"
         "2 for a usage error.\n";
}

const char* statusWord(Status status) {
  switch (status) {
    case Status::ok: return "ok  ";
    case Status::warn: return "warn";
    case Status::fail: return "FAIL";
  }
  return "";
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string plural(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

class Doctor {
 public:
  Doctor(const ScenarioOptions& options, Scenario& scenario)
      : options_(options), scenario_(scenario), platform_(scenario.platform()),
        identity_(scenario.context().identity()) {}

  int run() {
    checkKind();
    checkIdentity();
    checkHostRuns();
    checkAppGroup();
    const auto container = checkContainer();
    checkManifest(container);
    checkGlyph();
    checkLocalisation();
    const Menu menu = scenario_.finderSync().menuForMenuKind(options_.kind);
    checkSelection(menu);
    checkHandoff();
    for (const Step& step : steps_) {
      writeLine(stdout, lineSafe(std::string(statusWord(step.status)) + " " + step.name + ": " + step.detail));
    }
    return verdict(menu);
  }

 private:
  void add(Status status, std::string name, std::string detail) {
    steps_.push_back(Step{status, std::move(name), std::move(detail)});
  }

  void checkKind() {
    const std::uint64_t kind = options_.kind;
    std::string shown = std::to_string(kind);
    if (!menuKindName(kind).empty()) shown += " (" + std::string(menuKindName(kind)) + ")";
    if (kind <= 1) {
      add(Status::ok, "kind", shown + ": a contextual menu the extension fills");
    } else {
      add(Status::fail, "kind",
          shown + ": the extension offers nothing in this menu; only items (0) and container (1) get the "
                  "Ferlo entry");
    }
  }

  void checkIdentity() {
    const auto bundleId = platform_.bundleIdentifier();
    std::string detail;
    if (bundleId) {
      detail = "bundle identifier " + jsonQuoted(*bundleId) +
               (options_.bundleIdGiven ? " (--bundle-id)" : " (the compiled-in default)");
    } else {
      detail = "the bundle has no identifier, so the compiled-in default " +
               jsonQuoted(defaultExtensionIdentifier()) + " counts";
    }
    const std::string& host = identity_.hostBundleIdentifier();
    if (host.empty()) {
      add(Status::fail, "identity",
          detail + "; the host bundle identifier is empty (the bundle identifier has fewer than two "
                   "components), so no running application can match it");
    } else {
      add(Status::ok, "identity", detail + "; host bundle identifier " + jsonQuoted(host));
    }
  }

  void checkHostRuns() {
    const std::string& host = identity_.hostBundleIdentifier();
    if (platform_.runningApplicationsWithBundleIdentifier(host) > 0) {
      add(Status::ok, "host", "an application with bundle identifier " + jsonQuoted(host) + " runs");
    } else if (host.empty()) {
      add(Status::fail, "host", "an empty bundle identifier matches no running application");
    } else {
      add(Status::fail, "host",
          "no running application has bundle identifier " + jsonQuoted(host) +
              "; the menu shows only while the host runs (--host-running, or --running " + host + ")");
    }
  }

  void checkAppGroup() {
    const auto value = platform_.objectForInfoDictionaryKey(kAppGroupInfoKey);
    const std::string& group = identity_.appGroupIdentifier();
    const std::string key(kAppGroupInfoKey);
    const std::string shown = jsonQuoted(group);
    if (!value) {
      add(Status::ok, "app group", shown + " (the compiled-in default: the Info.plist has no " + key + ")");
      return;
    }
    if (value->kind != InfoValue::Kind::text) {
      static constexpr const char* kKinds[] = {"text", "a number", "a boolean", "a list", "a dictionary"};
      add(Status::warn, "app group",
          shown + " (the compiled-in default: the Info.plist's " + key + " is " +
              kKinds[static_cast<int>(value->kind)] + ", not text)");
      return;
    }
    if (value->text.empty()) {
      add(Status::warn, "app group",
          shown + " (the compiled-in default: the Info.plist's " + key + " is empty text)");
      return;
    }
    const std::string& text = value->text;
    const bool blanks = text.find_first_of(" \t\n\r") == 0 || text.find_last_of(" \t\n\r") == text.size() - 1;
    if (blanks) {
      add(Status::warn, "app group",
          shown + " (the Info.plist's " + key + ", used exactly as stored: it has surrounding blanks)");
    } else {
      add(Status::ok, "app group", shown + " (the Info.plist's " + key + ")");
    }
  }

  std::optional<FileURL> checkContainer() {
    const std::string& group = identity_.appGroupIdentifier();
    auto container = sharedContainerURL(platform_, identity_);
    const std::string& root = platform_.config().groupContainersRoot;
    if (container) {
      add(Status::ok, "container", container->path() + "/ exists");
    } else if (!isDirectory(root)) {
      add(Status::fail, "container",
          "no container for app group " + jsonQuoted(group) + ": the containers root " + root +
              " does not exist (--group-containers)");
    } else {
      add(Status::fail, "container",
          "no container for app group " + jsonQuoted(group) + ": " + root + "/" + group +
              "/ does not exist (the containers root is " + root + "; --group-containers)");
    }
    return container;
  }

  void checkManifest(const std::optional<FileURL>& container) {
    if (!container) {
      add(Status::fail, "rules.json", "not looked for: there is no container");
      return;
    }
    const FileURL url = container->appendingPathComponent(kRulesFileName);
    const std::string path = url.path();
    auto bytes = platform_.readWholeFile(url);
    if (!bytes) {
      const FileReadResult reason = readRegularFile(path);
      add(Status::fail, "rules.json",
          "cannot read " + path + ": " + (reason.bytes ? std::string("refused by the platform") : reason.error) +
              " (the host application writes it)");
      return;
    }
    const auto decoded = decodeRuleManifest(*bytes);
    if (!decoded) {
      const std::string where = decoded.error.where.empty() ? "(document)" : decoded.error.where;
      add(Status::fail, "rules.json",
          path + ": " + where + ": " + decoded.error.why + " (one breach rejects the whole manifest)");
      return;
    }
    const RuleManifest& manifest = *decoded.value;
    std::string summary = plural(manifest.rules.size(), "rule", "rules") + ", " +
                          (manifest.watchedRoots ? plural(manifest.watchedRoots->size(), "watched root", "watched roots")
                                                 : std::string("watchedRoots absent"));
    std::vector<std::string> notes;
    if (manifest.rules.empty()) notes.push_back("the rules section shows only its \"no rules\" item");
    if (!manifest.watchedRoots || manifest.watchedRoots->empty()) notes.push_back("the expiry submenu never shows");
    if (notes.empty()) {
      add(Status::ok, "rules.json", path + ": " + summary);
    } else {
      std::string text = path + ": " + summary + ": ";
      for (std::size_t i = 0; i < notes.size(); ++i) text += (i > 0 ? "; " : "") + notes[i];
      add(Status::warn, "rules.json", text);
    }
  }

  void checkGlyph() {
    const std::string file = platform_.config().resourcesDirectory + "/BrandGlyph.png";
    const auto size = platform_.imageNamed("BrandGlyph");
    const auto& glyph = scenario_.context().brandGlyphImage();
    if (!size) {
      add(Status::warn, "glyph",
          "no BrandGlyph image (" + file + (exists(file) ? " is not a readable PNG" : " is missing") +
              "): the Ferlo entry shows without an image");
    } else if (!glyph) {
      add(Status::warn, "glyph",
          "BrandGlyph " + jsonNumber(size->width) + "x" + jsonNumber(size->height) +
              " has no positive height: the Ferlo entry shows without an image");
    } else {
      add(Status::ok, "glyph",
          "BrandGlyph " + jsonNumber(size->width) + "x" + jsonNumber(size->height) + " shown at " +
              jsonNumber(glyph->width) + "x" + jsonNumber(glyph->height) + " (" + file + ")");
    }
  }

  void checkLocalisation() {
    const Localizer& localizer = platform_.localizer();
    const std::string& dir = platform_.config().resourcesDirectory;
    const std::string language = localizer.language();
    const std::string shown = "language " + jsonQuoted(language) + " (locale " + jsonQuoted(localizer.locale()) + ")";
    std::string unreadable;
    for (const Localizer::UnreadableTable& table : localizer.unreadableTables()) {
      unreadable += (unreadable.empty() ? "" : "; ") + std::string("cannot read ") + table.path + ": " + table.reason;
    }
    if (!unreadable.empty()) unreadable += " (a table that cannot be read counts as absent)";
    if (localizer.hasOwnTable()) {
      const std::string table = shown + ", table " + dir + "/" + language + ".lproj";
      if (unreadable.empty()) {
        add(Status::ok, "localisation", table);
      } else {
        add(Status::warn, "localisation", table + ": " + unreadable);
      }
      return;
    }
    if (!unreadable.empty()) unreadable = "; " + unreadable;
    const bool english = exists(dir + "/en.lproj/Localizable.strings") || exists(dir + "/en.lproj/Localizable.stringsdict");
    if (english && language != "en") {
      add(Status::warn, "localisation", shown + ": no table in " + dir + ", falling back to en" + unreadable);
    } else {
      add(Status::warn, "localisation",
          shown + ": no table in " + dir + ", nor an en table: texts show their keys" + unreadable);
    }
  }

  void checkSelection(const Menu& menu) {
    const auto& selection = platform_.config().selectedItemURLs;
    const auto& targeted = platform_.config().targetedURL;
    std::size_t folders = 0;
    std::optional<FileURL> targetFolder;
    if (selection) {
      for (const FileURL& url : *selection) {
        if (!url.hasDirectoryPath()) continue;
        ++folders;
        if (!targetFolder) targetFolder = url;
      }
    }
    if (!targetFolder) targetFolder = targeted;
    const auto has = [&](Selector selector) {
      return findItemPath(menu, [&](const MenuItem& item) { return item.action == selector; }).has_value();
    };
    std::string detail = selection ? plural(selection->size(), "selected item", "selected items") + " (" +
                                         plural(folders, "folder", "folders") + ")"
                                   : std::string("no selection list");
    detail += targeted ? ", targeted " + targeted->path() : ", no targeted folder";
    if (!menu.items.empty()) {
      detail += std::string("; merge ") + (has(Selector::runMergeSelected) ? "offered" : "not offered (needs 2 folders)");
      detail += std::string(", expiry ") +
                (has(Selector::setExpiry) ? "offered" : "not offered (needs a selected file under a watched root)");
    }
    if (targetFolder) {
      add(Status::ok, "selection", detail + "; rules and flatten act on " + targetFolder->path());
    } else {
      add(Status::warn, "selection",
          detail + "; rules and flatten would stop at their guard: no selected folder and no targeted folder");
    }
  }

  void checkHandoff() {
    const FileURL bundle = platform_.bundleURL();
    const FileURL host = bundle.deletingLastPathComponent().deletingLastPathComponent().deletingLastPathComponent();
    const std::string path = host.path();
    const std::string from = " (three levels above the bundle " + bundle.absoluteString() + ")";
    if (path.ends_with(".app")) {
      add(Status::ok, "hand-off", "opens " + path + from);
    } else {
      add(Status::warn, "hand-off",
          "opens " + path + from +
              ", which does not look like an application: the extension belongs at HOST.app/Contents/PlugIns/NAME.appex");
    }
  }

  int verdict(const Menu& menu) {
    const Step* firstFail = nullptr;
    for (const Step& step : steps_) {
      if (step.status == Status::fail) {
        firstFail = &step;
        break;
      }
    }
    if (!menu.items.empty()) {
      std::string line = "result: the full menu would show";
      if (firstFail != nullptr) line += " (although step " + firstFail->name + " reported FAIL)";
      writeLine(stdout, lineSafe(line));
      return kExitOk;
    }
    if (firstFail != nullptr) {
      writeLine(stdout, lineSafe("result: the menu would be empty: " + firstFail->name + ": " + firstFail->detail));
    } else {
      writeLine(stdout, "result: the menu would be empty, though no step found a reason");
    }
    return kExitFailure;
  }

  const ScenarioOptions& options_;
  Scenario& scenario_;
  PosixPlatform& platform_;
  const Identity& identity_;
  std::vector<Step> steps_;
};

}  // namespace

int runDoctorCommand(std::span<const std::string> args) {
  int exitCode = kExitOk;
  auto line = parseScenarioCommand("doctor", args, {}, &exitCode);
  if (!line) return exitCode;
  if (line->help) return printHelp(doctorHelp());
  if (!line->operands.empty()) return usageError("doctor", "unexpected argument " + jsonQuoted(line->operands[0]));
  Scenario scenario(makePlatformConfig(line->scenario));
  return Doctor(line->scenario, scenario).run();
}

}  // namespace ferlo::cli
