#include "tools/ferlo/command_support.h"

#include <cstdio>

#include "exchange/identity.h"
#include "platform/stand_in/posix_platform.h"
#include "tools/ferlo/program_location.h"

namespace ferlo::cli {

std::optional<ScenarioCommandLine> parseScenarioCommand(std::string_view command, std::span<const std::string> args,
                                                        std::span<const OptionSyntax> ownOptions, int* exitCode,
                                                        UnreadableBundle unreadableBundle) {
  std::vector<OptionSyntax> syntaxes(scenarioOptionSyntaxs().begin(), scenarioOptionSyntaxs().end());
  syntaxes.insert(syntaxes.end(), ownOptions.begin(), ownOptions.end());
  auto parsed = parseCommandLine(args, syntaxes);
  if (!parsed.value) {
    *exitCode = usageError(command, parsed.error.why);
    return std::nullopt;
  }
  ScenarioCommandLine line;
  line.help = parsed.value->help;
  line.operands = std::move(parsed.value->operands);
  if (line.help) return line;
  for (ParsedOption& option : parsed.value->options) {
    const Decoded<bool> applied = applyScenarioOption(line.scenario, option);
    if (!applied) {
      *exitCode = usageError(command, applied.error.why);
      return std::nullopt;
    }
    if (!*applied) line.own.push_back(std::move(option));
  }
  loadScenarioBundle(line.scenario);
  if (line.scenario.bundlePath && !line.scenario.bundle && unreadableBundle == UnreadableBundle::usageError) {
    *exitCode = usageError(command, "--bundle: " + line.scenario.bundle.error.why);
    return std::nullopt;
  }
  return line;
}

std::string scenarioOptionsHelp() {
  std::string text =
      "Scenario options (what the stand-in platform shows the extension):\n"
      "  --kind K               menu kind: a number, or items (0), container (1),\n"
      "                         sidebar (2), toolbar (3); default items\n"
      "  --select ITEM          one entry of the Finder's selection; repeatable, in\n"
      "                         order. ITEM is a file:// URL taken as it stands, or\n"
      "                         an absolute path; a final \"/\" marks a folder. Without\n"
      "                         any --select the Finder gives no selection list\n"
      "  --target ITEM          the targeted folder (same forms); default none\n"
      "  --group-containers DIR the root of app-group containers: group G's\n"
      "                         container is DIR/G/ when that directory exists;\n"
      "                         default " + defaultGroupContainersRoot() + "\n"
      "  --bundle-id ID         the extension's bundle identifier; default\n"
      "                         " + std::string(defaultExtensionIdentifier()) + "\n"
      "  --no-bundle-id         the extension's bundle has no identifier\n"
      "  --info KEY=JSON        an Info.plist value typed by its JSON; repeatable:\n"
      "                         --info 'TarvelinAppGroup=\"group.x\"', --info TarvelinAppGroup=5;\n"
      "                         CFBundleIdentifier sets the bundle identifier too\n"
      "                         (none unless it is text)\n"
      "  --bundle-url ITEM      the extension bundle; default the .appex folder the\n"
      "                         program lies in, else\n"
      "                         " + std::string(kFallbackBundleURL) + "\n"
      "  --running ID           a running application's bundle identifier; repeatable\n"
      "                         (an empty ID names no application)\n"
      "  --host-running         the host application (the bundle identifier less its\n"
      "                         last component) runs\n"
      "  --user-home DIR        the user database's home for the real user id;\n"
      "                         default the real entry\n"
      "  --no-user-entry        the user database has no entry for the real user id\n"
      "  --platform-home DIR    homeDirectoryForCurrentUser; default $HOME\n"
      "  --resources DIR        DIR/BrandGlyph.png and DIR/<lang>.lproj/Localizable.*;\n"
      "                         default " + defaultResourcesDirectory() + "\n"
      "  --locale LOCALE        e.g. en_US, de_DE, tr_TR; default from LC_ALL,\n"
      "                         LC_MESSAGES or LANG, else en_US\n"
      "  --on-open CMD          on each hand-off also run CMD through sh -c with the\n"
      "                         host application's path (no final \"/\") as its one\n"
      "                         argument: sh -c 'CMD \"$@\"' sh PATH; its output goes to\n"
      "                         stderr\n"
      "  --process-id N         the extension process's identifier, 0 to 131071\n"
      "                         (2^17 - 1), which the rule items' tags carry;\n"
      "                         default the program's own, modulo 2^17\n"
      "  --bundle DIR           an extension bundle laid out as on macOS (NAME.appex):\n"
      "                         the bundle identifier and every Info.plist value come\n"
      "                         from DIR/Contents/Info.plist (XML or binary), the\n"
      "                         resources from DIR/Contents/Resources, the bundle URL\n"
      "                         is DIR. An Info.plist that cannot be read is a usage\n"
      "                         error (doctor reports it in its bundle step instead),\n"
      "                         and so is an empty DIR\n"
      "A single-valued option given twice: the last one counts. --bundle-id,\n"
      "--no-bundle-id, --info, --resources and --bundle-url override what --bundle\n"
      "says, wherever they stand; --info replaces only its own key, and --bundle-id\n"
      "or --no-bundle-id wins over --info CFBundleIdentifier. Options take\n"
      "their value as \"--opt value\" or \"--opt=value\".\n";
  return text;
}

int printHelp(std::string_view text) {
  writeText(stdout, text);
  writeText(stdout, kOutputErrorHelp);
  return kExitOk;
}

std::string plural(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string manifestCounts(const RuleManifest& manifest) {
  return plural(manifest.rules.size(), "rule", "rules") + ", " +
         (manifest.watchedRoots ? plural(manifest.watchedRoots->size(), "watched root", "watched roots")
                                : std::string("watchedRoots absent"));
}

}  // namespace ferlo::cli
