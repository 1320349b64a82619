// ferlo doctor: walks the chain the menu depends on, in the order the menu
// build meets it, and says which link would leave the Finder's menu empty.
// The verdict (and exit status) comes from actually building the menu; the
// steps explain it.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "exchange/identity.h"
#include "exchange/rule_manifest.h"
#include "exchange/shared_container.h"
#include "extension/command_table.h"
#include "extension/handoff.h"
#include "extension/menu_builder.h"
#include "extension/menu_texts.h"
#include "extension/selection.h"
#include "platform/stand_in/bundle_reader.h"
#include "platform/stand_in/localizer.h"
#include "platform/stand_in/png_size.h"
#include "platform/files/file_io.h"
#include "platform/stand_in/strings_file.h"
#include "platform/stand_in/stringsdict_file.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/json_output.h"
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
         "  bundle (with --bundle: its Info.plist keys the system loads it by, and\n"
         "  the executable: missing is a warning, anything but a 64-bit arm64 or\n"
         "  x86_64 Mach-O executable or a universal one with such a slice a FAIL),\n"
         "  kind, identity (bundle and host identifier), host (does it run), app\n"
         "  group (and where it came from), container, rules.json, glyph (a whole\n"
         "  PNG, chunk by chunk, of at most 4 MiB; with --bundle also\n"
         "  BrandGlyph@2x.png), localisation, tables (with --bundle: every language's\n"
         "  tables parse, the development language's hold every key the menu uses,\n"
         "  every language has its keys, and every .stringsdict format resolves),\n"
         "  selection, hand-off (the host application's path; with --bundle also\n"
         "  that it exists and its Info.plist carries the host bundle identifier)\n"
         "then one line:\n"
         "  result: the full menu would show\n"
         "  result: the menu would be empty: STEP: REASON\n"
         "Paths and quoted values show escaped, so that each step stays one line and\n"
         "reads as written: \\n, \\r, \\t; \\xHH for the other ASCII controls and for\n"
         "each byte that is not UTF-8; \\u{HHHH} (four upper-case hex digits) for the\n"
         "C1 controls, U+2028, U+2029 and the bidirectional controls (U+061C,\n"
         "U+200E, U+200F, U+202A..U+202E, U+2066..U+2069); in quotes also \\\" and \\\\.\n"
         "A FAIL of the bundle step empties the menu whatever the stand-in builds:\n"
         "the system loads no extension from such a bundle.\n"
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

// "missing", a text in quotes, or the kind of another value.
std::string valueShown(const InfoValue* value) {
  static constexpr const char* kKinds[] = {"text", "a number", "a boolean", "a list", "a dictionary"};
  if (value == nullptr) return "missing";
  if (value->kind == InfoValue::Kind::text) return lineQuoted(value->text);
  return kKinds[static_cast<int>(value->kind)];
}

const InfoValue* member(const std::map<std::string, InfoValue, std::less<>>& dictionary, std::string_view key) {
  const auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &it->second;
}

const InfoValue* member(const InfoValue* dictionary, std::string_view key) {
  if (dictionary == nullptr || dictionary->kind != InfoValue::Kind::dictionary) return nullptr;
  for (const auto& [name, value] : dictionary->dictionary) {
    if (name == key) return &value;
  }
  return nullptr;
}

// The names of the "<lang>.lproj" directories in `dir`, sorted.
std::vector<std::string> languagesIn(const std::string& dir) {
  std::vector<std::string> languages;
  DIR* stream = ::opendir(dir.c_str());
  if (stream == nullptr) return languages;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (name.size() > 6 && name.ends_with(".lproj") && isDirectory(dir + "/" + std::string(name))) {
      languages.emplace_back(name.substr(0, name.size() - 6));
    }
  }
  ::closedir(stream);
  std::sort(languages.begin(), languages.end());
  return languages;
}

// The keys of one language's tables, by file.
struct TableKeys {
  std::set<std::string, std::less<>> strings, plurals;
};

// A glyph is a few kilobytes; a file far larger is not one, and its chunks
// are not read.
constexpr std::uint64_t kMaxGlyphBytes = 4U << 20;

struct GlyphFile {
  std::optional<ImageSize> size;  // from the header
  bool unreadable = false;        // `problem` says why it cannot be read
  bool tooLarge = false;          // over kMaxGlyphBytes: its chunks are not read
  std::string problem;            // "" for a whole PNG
};

// The glyph file `file`: its size as the header gives it, and what is wrong
// with it as a whole PNG. Reads at most kMaxGlyphBytes, so that no finding
// rests on a read that ran out of memory.
GlyphFile inspectGlyph(const std::string& file) {
  GlyphFile glyph;
  const Decoded<std::string> head = readRegularFilePrefix(file, kPngHeaderBytes);
  if (head) glyph.size = readPngSize(*head);
  struct stat st {};
  if (head && ::stat(file.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > kMaxGlyphBytes) {
    glyph.tooLarge = true;
    glyph.problem = file + " is larger than " + std::to_string(kMaxGlyphBytes) + " bytes, too large for a glyph";
    return glyph;
  }
  const Decoded<std::string> bytes = head ? readRegularFile(file, kMaxGlyphBytes) : head.error;
  if (!bytes) {
    glyph.unreadable = true;
    glyph.problem = "cannot read " + file + ": " + bytes.error.why;
  } else if (const std::string problem = pngStructureProblem(*bytes); !problem.empty()) {
    glyph.problem = file + " is not a whole PNG: " + problem;
  }
  return glyph;
}

// What the bundle of the Finder Sync extension must say for the system to
// load it, as the Info.plist template says it.
constexpr std::string_view kExtensionPoint = "com.apple.FinderSync";
constexpr std::string_view kPrincipalClass = "FinderSync";
constexpr std::string_view kPackageType = "XPC!";

class Doctor {
 public:
  Doctor(const ScenarioOptions& options, Scenario& scenario)
      : options_(options), scenario_(scenario), platform_(scenario.platform()),
        identity_(scenario.context().identity()) {}

  int run() {
    checkBundle();
    checkKind();
    checkIdentity();
    checkHostRuns();
    checkAppGroup();
    checkContainer();
    const std::optional<RuleManifest> manifest = checkManifest();
    checkGlyph();
    checkLocalisation();
    checkTables();
    const Menu menu = scenario_.finderSync().menuForMenuKind(options_.kind);
    checkSelection(menu, manifest);
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

  // What the system reads of the bundle before the extension runs at all.
  void checkBundle() {
    if (!options_.bundlePath) return;
    if (!options_.bundle) {
      add(Status::fail, "bundle", options_.bundle.error.why + " (the system loads no extension from it)");
      return;
    }
    const BundleContents& bundle = *options_.bundle;
    const auto& info = bundle.infoDictionary;
    std::vector<std::string> fails, warns;
    const auto expect = [&](std::string_view key, const InfoValue* value, std::string_view wanted) {
      if (value == nullptr || value->kind != InfoValue::Kind::text || value->text != wanted) {
        fails.push_back("Contents/Info.plist: " + std::string(key) + " is " + valueShown(value) + ", not " +
                        lineQuoted(wanted));
      }
    };
    const InfoValue* identifier = member(info, "CFBundleIdentifier");
    if (identifier == nullptr || identifier->kind != InfoValue::Kind::text || identifier->text.empty()) {
      fails.push_back("Contents/Info.plist: CFBundleIdentifier is " + valueShown(identifier) +
                      ", not a bundle identifier");
    }
    expect("CFBundlePackageType", member(info, "CFBundlePackageType"), kPackageType);
    const InfoValue* extension = member(info, "NSExtension");
    expect("NSExtension.NSExtensionPointIdentifier", member(extension, "NSExtensionPointIdentifier"), kExtensionPoint);
    expect("NSExtension.NSExtensionPrincipalClass", member(extension, "NSExtensionPrincipalClass"), kPrincipalClass);
    const InfoValue* executable = member(info, "CFBundleExecutable");
    std::string executablePath;
    if (executable == nullptr || executable->kind != InfoValue::Kind::text || executable->text.empty() ||
        executable->text.find('/') != std::string::npos) {
      fails.push_back("Contents/Info.plist: CFBundleExecutable is " + valueShown(executable) + ", not a file name");
    } else {
      executablePath = "Contents/MacOS/" + executable->text;
      const std::string file = bundle.path + "/" + executablePath;
      struct stat st {};
      if (::stat(file.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        warns.push_back(executablePath +
                        " is missing (a bundle laid out without the macOS SDK); the stand-in plays its part");
      } else if (const auto head = readRegularFilePrefix(file, kMachOHeadBytes); !head) {
        fails.push_back("cannot read " + executablePath + ": " + head.error.why);
      } else if (const std::string problem = machOProblem(*head); !problem.empty()) {
        fails.push_back(executablePath + " " + problem);
      }
    }
    const auto joined = [](const std::vector<std::string>& parts) {
      std::string text;
      for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
      return text;
    };
    if (!fails.empty()) {
      fails.insert(fails.end(), warns.begin(), warns.end());
      add(Status::fail, "bundle", bundle.path + ": " + joined(fails) + " (the system loads no extension from it)");
      return;
    }
    std::string summary = bundle.path + ": Contents/Info.plist (" +
                          (bundle.infoFormat == PropertyListFormat::binary ? "binary" : "XML") + "): a " +
                          std::string(kExtensionPoint) + " extension, principal class " + std::string(kPrincipalClass);
    if (warns.empty()) {
      add(Status::ok, "bundle", summary + ", executable " + executablePath);
    } else {
      add(Status::warn, "bundle", summary + "; " + joined(warns));
    }
  }

  void checkKind() {
    const std::uint64_t kind = options_.kind;
    std::string shown = std::to_string(kind);
    if (!menuKindName(kind).empty()) shown += " (" + std::string(menuKindName(kind)) + ")";
    if (menuKindGetsEntry(kind)) {
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
      detail = "bundle identifier " + lineQuoted(*bundleId) +
               (options_.bundleIdGiven                          ? " (--bundle-id)"
                : options_.info.contains("CFBundleIdentifier") ? " (--info CFBundleIdentifier)"
                : options_.bundle ? " (CFBundleIdentifier of " + options_.bundle->infoPlistPath() + ")"
                                  : " (the compiled-in default)");
    } else {
      detail = "the bundle has no identifier, so the compiled-in default " +
               lineQuoted(defaultExtensionIdentifier()) + " counts";
    }
    const std::string& host = identity_.hostBundleIdentifier();
    if (host.empty()) {
      add(Status::fail, "identity",
          detail + "; the host bundle identifier is empty (the bundle identifier has fewer than two "
                   "components), so no running application can match it");
    } else {
      add(Status::ok, "identity", detail + "; host bundle identifier " + lineQuoted(host));
    }
  }

  void checkHostRuns() {
    const std::string& host = identity_.hostBundleIdentifier();
    if (hostApplicationRuns(scenario_.context())) {
      add(Status::ok, "host", "an application with bundle identifier " + lineQuoted(host) + " runs");
    } else if (host.empty()) {
      add(Status::fail, "host", "an empty bundle identifier matches no running application");
    } else {
      add(Status::fail, "host",
          "no running application has bundle identifier " + lineQuoted(host) +
              "; the menu shows only while the host runs (--host-running, or --running " + host + ")");
    }
  }

  void checkAppGroup() {
    const auto value = platform_.objectForInfoDictionaryKey(kAppGroupInfoKey);
    const std::string& group = identity_.appGroupIdentifier();
    const std::string key(kAppGroupInfoKey);
    const std::string shown = lineQuoted(group);
    if (!value) {
      // A shipped bundle is meant to name its group: a missing key is a
      // template that lost it, even though the default stands in.
      add(options_.bundle ? Status::warn : Status::ok, "app group",
          shown + " (the compiled-in default: " +
              (options_.bundle ? options_.bundle->infoPlistPath() : std::string("the Info.plist")) + " has no " +
              key + ")");
      return;
    }
    if (value->kind != InfoValue::Kind::text) {
      add(Status::warn, "app group",
          shown + " (the compiled-in default: the Info.plist's " + key + " is " + valueShown(&*value) +
              ", not text)");
      return;
    }
    if (value->text.empty()) {
      add(Status::warn, "app group",
          shown + " (the compiled-in default: the Info.plist's " + key + " is empty text)");
      return;
    }
    const std::string& text = value->text;
    const bool blanks = text.find_first_of(" \t\n\r") == 0 || text.find_last_of(" \t\n\r") == text.size() - 1;
    const std::string entitled(defaultAppGroupIdentifier());
    if (blanks) {
      add(Status::warn, "app group",
          shown + " (the Info.plist's " + key + ", used exactly as stored: it has surrounding blanks)");
    } else if (text != entitled) {
      add(Status::warn, "app group",
          shown + " (the Info.plist's " + key + "), not " + lineQuoted(entitled) +
              ", the one group the extension is signed for: the sandbox keeps the container of another out of "
              "reach");
    } else {
      add(Status::ok, "app group", shown + " (the Info.plist's " + key + ")");
    }
  }

  void checkContainer() {
    const std::string& group = identity_.appGroupIdentifier();
    auto container = sharedContainerURL(platform_, identity_);
    const std::string& root = platform_.config().groupContainersRoot;
    if (container) {
      add(Status::ok, "container", container->path() + "/ exists");
    } else if (!isDirectory(root)) {
      add(Status::fail, "container",
          "no container for app group " + lineQuoted(group) + ": the containers root " + root +
              " does not exist (--group-containers)");
    } else {
      add(Status::fail, "container",
          "no container for app group " + lineQuoted(group) + ": " + root + "/" + group +
              "/ does not exist (the containers root is " + root + "; --group-containers)");
    }
  }

  // The manifest as the menu build reads it, or none when that read fails.
  std::optional<RuleManifest> checkManifest() {
    RuleManifestReading reading = readRuleManifest(platform_, identity_);
    if (reading.outcome == RuleManifestReading::Outcome::noContainer) {
      add(Status::fail, "rules.json", "not looked for: there is no container");
      return std::nullopt;
    }
    const std::string path = reading.file->path();
    if (reading.outcome == RuleManifestReading::Outcome::unreadable) {
      const Decoded<std::string> reason = readRegularFile(path);
      add(Status::fail, "rules.json",
          "cannot read " + path + ": " + (reason ? std::string("refused by the platform") : reason.error.why) +
              " (the host application writes it)");
      return std::nullopt;
    }
    if (!reading) {
      const DecodeError& error = reading.manifest.error;
      const std::string where = error.where.empty() ? "(document)" : error.where;
      add(Status::fail, "rules.json", path + ": " + where + ": " + error.why + " (one breach rejects the whole manifest)");
      return std::nullopt;
    }
    const RuleManifest& manifest = *reading.manifest.value;
    const std::string summary = manifestCounts(manifest);
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
    return std::move(reading.manifest.value);
  }

  void checkGlyph() {
    const std::string file = platform_.config().resourcesDirectory + "/BrandGlyph.png";
    const auto size = platform_.imageNamed("BrandGlyph");
    const auto& glyph = scenario_.context().brandGlyphImage();
    const GlyphFile whole = inspectGlyph(file);
    if (!size) {
      const bool missing = !exists(file);
      add(Status::warn, "glyph",
          "no BrandGlyph image (" +
              (missing ? file + " is missing"
               : whole.problem.empty() || (whole.tooLarge && !whole.size) ? file + " is not a readable PNG"
                                                                           : whole.problem) +
              "): the Ferlo entry shows without an image");
    } else if (!glyph) {
      add(Status::warn, "glyph",
          "BrandGlyph " + jsonNumber(size->width) + "x" + jsonNumber(size->height) +
              " has no positive height: the Ferlo entry shows without an image");
    } else {
      std::string detail = "BrandGlyph " + jsonNumber(size->width) + "x" + jsonNumber(size->height) + " shown at " +
                           jsonNumber(glyph->width) + "x" + jsonNumber(glyph->height) + " (" + file + ")";
      std::vector<std::string> problems;
      if (!whole.problem.empty()) problems.push_back(whole.problem);
      if (options_.bundle) {
        if (std::string retina = checkRetinaGlyph(*size); !retina.empty()) problems.push_back(std::move(retina));
      }
      if (problems.empty()) {
        add(Status::ok, "glyph", detail + (options_.bundle ? " and BrandGlyph@2x.png at twice the size" : ""));
        return;
      }
      for (const std::string& problem : problems) detail += "; " + problem;
      add(Status::warn, "glyph", detail);
    }
  }

  // What is wrong with BrandGlyph@2x.png beside a good BrandGlyph.png, or "".
  std::string checkRetinaGlyph(const ImageSize& size) {
    const std::string file = platform_.config().resourcesDirectory + "/BrandGlyph@2x.png";
    const GlyphFile retina = inspectGlyph(file);
    if (retina.unreadable) return retina.problem + " (high-resolution displays scale the small one)";
    if (!retina.size) return file + " is not a readable PNG";
    if (retina.size->width != 2 * size.width || retina.size->height != 2 * size.height) {
      return file + " is " + jsonNumber(retina.size->width) + "x" + jsonNumber(retina.size->height) +
             ", not twice " + jsonNumber(size.width) + "x" + jsonNumber(size.height);
    }
    return retina.problem;
  }

  void checkLocalisation() {
    const Localizer& localizer = platform_.localizer();
    const std::string& dir = platform_.config().resourcesDirectory;
    const std::string language = localizer.language();
    const std::string shown = "language " + lineQuoted(language) + " (locale " + lineQuoted(localizer.locale()) + ")";
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

  // Every language's tables: each file parses, and each language has every
  // key of the development language (a key it lacks shows in English).
  void checkTables() {
    if (!options_.bundlePath) return;
    const std::string& dir = platform_.config().resourcesDirectory;
    const std::vector<std::string> languages = languagesIn(dir);
    if (languages.empty()) {
      add(Status::warn, "tables", "no LANGUAGE.lproj in " + dir + ": texts show their keys");
      return;
    }
    std::string development = "en";
    if (options_.bundle) {
      if (auto region = options_.bundle->text("CFBundleDevelopmentRegion")) development = *region;
    }
    std::vector<std::string> problems;
    std::vector<TableKeys> keys(languages.size());
    for (std::size_t i = 0; i < languages.size(); ++i) {
      for (const std::string_view name : {"Localizable.strings", "Localizable.stringsdict"}) {
        const std::string relative = languages[i] + ".lproj/" + std::string(name);
        const std::string path = dir + "/" + relative;
        if (!exists(path)) continue;
        const Decoded<std::string> bytes = readLocalizationTable(path);  // as the menu's lookup reads it
        if (!bytes) {
          problems.push_back("cannot read " + relative + ": " + bytes.error.why + " (it counts as absent)");
          continue;
        }
        DecodeError error;
        bool parsed = false;
        if (name.ends_with(".strings")) {
          auto table = parseStringsFile(*bytes);
          if ((parsed = table.value.has_value())) {
            for (const auto& entry : *table) keys[i].strings.insert(entry.first);
          }
          error = std::move(table.error);
        } else {
          auto table = parseStringsdictFile(*bytes);
          if ((parsed = table.value.has_value())) {
            for (const auto& [key, entry] : *table) {
              keys[i].plurals.insert(key);
              for (const std::string& problem : stringsdictEntryProblems(entry)) {
                problems.push_back(relative + ": " + lineQuoted(key) + ": " + problem);
              }
            }
          }
          error = std::move(table.error);
        }
        if (!parsed) {
          problems.push_back(relative + " cannot be read: " + describe(error) + " (the whole table is ignored)");
        }
      }
    }
    const auto base = std::find(languages.begin(), languages.end(), development);
    if (base == languages.end()) {
      problems.push_back("no " + development + ".lproj for the development language " + lineQuoted(development) +
                         " (CFBundleDevelopmentRegion)");
    } else {
      const TableKeys& wanted = keys[static_cast<std::size_t>(base - languages.begin())];
      // The menu's own keys: a plain text is looked up in Localizable.strings
      // alone, a count text in either table.
      std::string lacking;
      for (const std::string_view key : kMenuTextKeys) {
        if (wanted.strings.contains(key) || (isCountKey(key) && wanted.plurals.contains(key))) continue;
        lacking += (lacking.empty() ? "" : ", ") + lineQuoted(key);
      }
      if (!lacking.empty()) {
        problems.push_back(development + ".lproj has no text for the menu's " + lacking +
                           ": the menu shows such a key itself (a count key with its number for %lld)");
      }
      for (std::size_t i = 0; i < languages.size(); ++i) {
        std::vector<std::string> missing;
        for (const auto* table : {&wanted.strings, &wanted.plurals}) {
          for (const std::string& key : *table) {
            if (!keys[i].strings.contains(key) && !keys[i].plurals.contains(key)) missing.push_back(lineQuoted(key));
          }
        }
        std::sort(missing.begin(), missing.end());
        missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
        if (missing.empty()) continue;
        std::string text = languages[i] + ".lproj lacks " + missing.front();
        for (std::size_t k = 1; k < missing.size() && k < 3; ++k) text += ", " + missing[k];
        if (missing.size() > 3) text += " and " + plural(missing.size() - 3, "more key", "more keys");
        problems.push_back(text + " (shown from " + development + ".lproj)");
      }
    }
    if (problems.empty()) {
      std::string list;
      for (const std::string& language : languages) list += (list.empty() ? "" : " ") + language;
      add(Status::ok, "tables",
          plural(languages.size(), "language", "languages") + " (" + list + ") in " + dir +
              ": every table parses and has the keys of " + development + ".lproj, which has every text the menu "
              "uses; every .stringsdict format resolves");
      return;
    }
    std::string text = dir + ": " + problems.front();
    for (std::size_t k = 1; k < problems.size(); ++k) text += "; " + problems[k];
    add(Status::warn, "tables", text);
  }

  // The selection as the menu build and the commands read it, and what it
  // offers them.
  void checkSelection(const Menu& menu, const std::optional<RuleManifest>& manifest) {
    const Selection selection = readSelection(platform_);
    const SelectionOffer offer = offerOf(selection, watchedRootsOf(manifest));
    const auto& targeted = selection.targeted;
    std::string detail = selection.items ? plural(selection.items->size(), "selected item", "selected items") + " (" +
                                               plural(offer.folders.size(), "folder", "folders") + ")"
                                         : std::string("no selection list");
    detail += targeted ? ", targeted " + targeted->path() : ", no targeted folder";
    if (!menu.items.empty()) {
      detail += std::string("; merge ") +
                (offers(offer, Selector::runMergeSelected) ? "offered" : "not offered (needs 2 folders)");
      detail += std::string(", expiry ") + (offers(offer, Selector::setExpiry)
                                                ? "offered"
                                                : "not offered (needs a selected file under a watched root)");
    }
    // runRule: and runFlatten: share one guard: a target folder.
    if (offers(offer, Selector::runRule)) {
      add(Status::ok, "selection", detail + "; rules and flatten act on " + offer.targetFolder->path());
    } else {
      add(Status::warn, "selection",
          detail + "; rules and flatten would stop at their guard: no selected folder and no targeted folder");
    }
  }

  void checkHandoff() {
    const FileURL bundle = platform_.bundleURL();
    const std::string path = hostApplicationURL(platform_).path();
    const std::string from = " (three levels above the bundle " + bundle.absoluteString() + ")";
    if (options_.bundlePath && !isDirectory(path)) {
      add(Status::warn, "hand-off",
          "opens " + path + from + ", which does not exist: the bundle is not inside its host application");
    } else if (const std::string other = hostIdentifierMismatch(path); !other.empty()) {
      add(Status::warn, "hand-off", "opens " + path + from + ", " + other);
    } else if (path.ends_with(".app")) {
      add(Status::ok, "hand-off", "opens " + path + from);
    } else {
      add(Status::warn, "hand-off",
          "opens " + path + from +
              ", which does not look like an application: the extension belongs at HOST.app/Contents/PlugIns/NAME.appex");
    }
  }

  // With --bundle, when the host application's Info.plist cannot be read or
  // its identifier is not hostBundleIdentifier: what to say about it.
  std::string hostIdentifierMismatch(const std::string& host) {
    if (!options_.bundlePath) return "";
    const Decoded<BundleContents> read = readBundle(host);
    if (!read) {
      return "but " + read.error.why + " (nothing confirms that it is the application with bundle identifier " +
             lineQuoted(identity_.hostBundleIdentifier()) + ")";
    }
    const std::optional<std::string> id = read->identifier();
    const std::string& expected = identity_.hostBundleIdentifier();
    if (id && *id == expected) return "";
    return "whose CFBundleIdentifier is " + valueShown(member(read->infoDictionary, "CFBundleIdentifier")) +
           ", not the host bundle identifier " + lineQuoted(expected) +
           ": the menu waits for one application and the hand-off opens another";
  }

  int verdict(const Menu& menu) {
    const Step* firstFail = nullptr;
    for (const Step& step : steps_) {
      if (step.status == Status::fail) {
        firstFail = &step;
        break;
      }
    }
    // The system loads no extension from a broken bundle, whatever the
    // stand-in, which runs without asking, built.
    const bool loads = firstFail == nullptr || firstFail->name != "bundle";
    if (!menu.items.empty() && loads) {
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
  auto line = parseScenarioCommand("doctor", args, {}, &exitCode, UnreadableBundle::keep);
  if (!line) return exitCode;
  if (line->help) return printHelp(doctorHelp());
  if (!line->operands.empty()) return usageError("doctor", "unexpected argument " + jsonQuoted(line->operands[0]));
  Scenario scenario(makePlatformConfig(line->scenario));
  return Doctor(line->scenario, scenario).run();
}

}  // namespace ferlo::cli
