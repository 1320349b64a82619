// ferlo doctor: the step lines ("ok   ", "warn " or "FAIL " NAME: DETAIL, one
// line whatever the bytes), their order, the verdict line and the exit
// status; and the bundle the build lays out, run through --bundle by doctor,
// menu and click, in the XML and the binary form, whole and broken.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <tuple>

#include "platform/stand_in/strings_file.h"
#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

namespace fs = std::filesystem;

// The line of step `name`, or "".
std::string stepLine(const ProcessResult& result, const std::string& name) {
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 5 && line.compare(5, name.size() + 2, name + ": ") == 0) return line;
  }
  return "";
}

// The status and name of every line but the verdict, joined by "|".
std::string heads(const std::string& out) {
  std::istringstream in(out);
  std::string heads;
  for (std::string l; std::getline(in, l);) heads += l.starts_with("result: ") ? "" : l.substr(0, l.find(": ")) + "|";
  return heads;
}

// `expected` starts its step's line; a FAIL starts the verdict as well.
void expectStep(const ProcessResult& result, const std::string& expected, int exitCode) {
  EXPECT_EQ(result.exitCode, exitCode) << result.out;
  EXPECT_TRUE(stepLine(result, expected.substr(5, expected.find(": ") - 5)).starts_with(expected)) << result.out;
  const std::string verdict = result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
  EXPECT_TRUE(verdict.starts_with(expected.starts_with("FAIL") ? "result: the menu would be empty: " + expected.substr(5)
                                  : exitCode == 0 ? "result: the full menu would show\n" : "result: "))
      << result.out;
}

// A healthy scenario passes each step (exit 0, the full menu); each link
// that empties the menu FAILs (exit 1, and the verdict says why); a warning
// leaves the menu full (exit 0). The bundle's test checks the steps' order.
TEST_F(FerloTest, DoctorNamesTheStepAndItsReason) {
  std::filesystem::create_directories(dir / "fifo/en.lproj");
  std::filesystem::create_directories(dir / "gc2/" + kGroup);
  ASSERT_EQ(::mkfifo((dir / "fifo/en.lproj/Localizable.strings").c_str(), 0600), 0);
  const struct {
    std::vector<std::string> options;  // "@" stands for the test directory
    std::string line;                  // the start of the step's line; "@" likewise
    int exitCode;
  } cases[] = {
      {{}, "ok   container: @/gc/" + kGroup + "/ exists", 0},
      {{}, "ok   rules.json: @/gc/" + kGroup + "/rules.json: 1 rule, 1 watched root", 0},
      {{"--kind", "sidebar"}, "FAIL kind: 2 (sidebar): the extension offers nothing in this menu; only items (0) and "
                              "container (1) get the Ferlo entry", 1},
      {{"--running", "com.other.App"}, "FAIL host: no running application has bundle identifier \"" + kHost +
                                           "\"; the menu shows only while the host runs (--host-running, or --running " +
                                           kHost + ")", 1},
      // Every line stays one line and reads as written, whatever a value or a path holds.
      {{"--info", R"(TarvelinAppGroup="g\u001b\u202e")"}, "FAIL container: no container for app group \"g\\x1B\\u{202E}\": "
                                                       "@/gc/g\\x1B\\u{202E}/ does not exist (the containers root is "
                                                       "@/gc; --group-containers)", 1},
      {{"--group-containers", "@/g\nc\t\x7f\xff\xc3\xa9\xc2\x85\xe2\x81\xa6"}, "FAIL container: no container for app "
                                                      "group \"" + kGroup + "\": the containers root @/g\\nc\\t\\x7F"
                                                      "\\xFF\xc3\xa9\\u{0085}\\u{2066} does not exist (--group-containers)", 1},
      {{"--resources", "@/empty"}, "warn glyph: no BrandGlyph image (@/empty/BrandGlyph.png is missing): the Ferlo "
                                   "entry shows without an image", 0},
      {{"--bundle-url", "/x/y/z/E.appex/"}, "warn hand-off: opens /x (three levels above the bundle "
                                            "file:///x/y/z/E.appex/), which does not look like an application", 0},
      // A table that cannot be read (a FIFO would block) counts as absent, and doctor says why.
      {{"--resources", "@/fifo"}, "warn localisation: language \"en\" (locale \"en_US\"), table @/fifo/en.lproj: cannot "
                                  "read @/fifo/en.lproj/Localizable.strings: is a FIFO, not a regular file (a table "
                                  "that cannot be read counts as absent)", 0},
      {{"--group-containers", "@/gc2"}, "FAIL rules.json: cannot read @/gc2/" + kGroup + "/rules.json: No such file or "
                                         "directory (the host application writes it)", 1},
  };
  for (const auto& c : cases) {
    // The host runs, unless the case says which applications do.
    std::vector<std::string> args = {"doctor", "--select", home() + "/A/", "--select", home() + "/in/x.txt"};
    if (c.options.empty() || c.options[0] != "--running") args.push_back("--host-running");
    for (const std::string& option : c.options) args.push_back(replaceAll(option, "@", dir.path()));
    expectStep(ferlo(args), replaceAll(c.line, "@", dir.path()), c.exitCode);
  }
}

// ---- --bundle: the bundle the build lays out ----

class BundleTest : public FerloTest {
 protected:
  void SetUp() override {
    FerloTest::SetUp();
    fs::create_directories(fs::path(bundle()).parent_path());
    fs::copy(FERLO_BUNDLE_DIR, bundle(), fs::copy_options::recursive);
    writeFile(hostInfo(), "<plist><dict><key>CFBundleIdentifier</key><string>" + kHost + "</string></dict></plist>");
  }
  std::string host() const { return dir / "Host.app"; }
  std::string hostInfo() const { return host() + "/Contents/Info.plist"; }
  std::string bundle() const { return host() + "/Contents/PlugIns/FerloFinderSync.appex"; }
  // Runs `command` on the bundle with a running host and a selected folder.
  ProcessResult run(std::vector<std::string> command) const {
    command.insert(command.end(), {"--bundle", bundle(), "--group-containers", containers(), "--locale", "en_US",
                                   "--user-home", home(), "--platform-home", home(), "--host-running", "--select",
                                   home() + "/A/", "--process-id", "1"});
    return ferlo(command, false);
  }
  // doctor, menu --tree and click 0/1.
  std::tuple<ProcessResult, ProcessResult, ProcessResult> runAll() const {
    return {run({"doctor"}), run({"menu", "--tree"}), run({"click", "0/1"})};
  }
};

// Then every property list of the bundle stored in the binary form, as
// Xcode may store them: the same verdicts, the same menu, the same hand-off.
TEST_F(BundleTest, ShippedBundleInXmlOrBinaryFormPassesDoctorAndDrivesMenuAndClick) {
  const auto [doctor, menu, click] = runAll();
  // Only a bundle laid out without the SDK may warn, for its executable.
  const bool executable = pathExists(bundle() + "/Contents/MacOS/FerloFinderSync");
  EXPECT_EQ(heads(doctor.out), (executable ? "ok  " : "warn") +
                                       std::string(" bundle|ok   kind|ok   identity|ok   host|ok   app group|ok   container|"
                                                   "ok   rules.json|ok   glyph|ok   localisation|ok   tables|ok   selection|"
                                                   "ok   hand-off|"));
  EXPECT_TRUE(has(doctor.out, executable ? "principal class FinderSync, executable Contents/MacOS/FerloFinderSync"
                                             : "Contents/MacOS/FerloFinderSync is missing"));
  expectStep(doctor, "ok   hand-off: opens " + host() + " (three levels above the bundle file://" + bundle() + "/)",
             0);
  EXPECT_EQ(menu.out.substr(0, menu.out.find("0/2")),
            "0    Ferlo  [image BrandGlyph 16x16]\n"
            "0/0  ├─ RULES  [styled, title \"Rules\", disabled]\n"
            "0/1  ├─ Tidy  [runRule: → principal, object \"" + std::string(kRuleId) + "\", tag 1073750016]\n");
  EXPECT_EQ(click.out, "{\"handoff\":{\"url\":\"file://" + host() + "/\",\"activates\":true}}\n");
  EXPECT_TRUE(has(readFile(requestFile()), "\"action\":\"runRule\""));

  for (const auto& entry : fs::recursive_directory_iterator(bundle())) {
    const std::string path = entry.path();
    if (!path.ends_with(".plist") && !path.ends_with(".strings") && !path.ends_with(".stringsdict")) continue;
    std::string bytes = readFile(path);
    if (path.ends_with(".strings")) {  // the text form: as a dictionary of texts
      const auto table = ferlo::parseStringsFile(bytes);
      ASSERT_TRUE(table) << path;
      bytes = "<plist><dict>";
      for (const auto& [key, text] : *table) bytes += "<key>" + key + "</key><string>" + text + "</string>";
      bytes += "</dict></plist>";
    }
    plist_t root = nullptr;
    plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    ASSERT_NE(root, nullptr) << path;
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    writeFile(path, std::string(binary, length));
    std::free(binary);
    plist_free(root);
  }
  const std::string binaryDoctor = replaceAll(doctor.out, "Contents/Info.plist (XML)", "Contents/Info.plist (binary)");
  EXPECT_EQ(runAll(), std::tuple(ProcessResult{0, binaryDoctor, ""}, menu, click));
}

struct BundleFault {
  const char* name;
  std::string file;  // relative to the bundle's resources; "@host" the host's Info.plist
  std::string from;  // replaced by `to`; empty: the whole file
  std::string to;
  std::string line;  // the start of the step's line; {B} the bundle, {R} its resources, {H} the host
  int exitCode = 0;
};

class BundleFaultTest : public BundleTest, public ::testing::WithParamInterface<BundleFault> {};

TEST_P(BundleFaultTest, DoctorNamesTheFileAndKey) {
  const BundleFault& f = GetParam();
  const std::string path = f.file == "@host" ? hostInfo() : bundle() + "/Contents/Resources/" + f.file;
  std::string text = readFile(path);
  ASSERT_NE(text.find(f.from), std::string::npos) << path << " has no " << f.from;
  writeFile(path, f.from.empty() ? f.to : text.replace(text.find(f.from), f.from.size(), f.to));
  const std::string resources = bundle() + "/Contents/Resources";
  expectStep(run({"doctor"}), replaceAll(replaceAll(replaceAll(f.line, "{R}", resources), "{B}", bundle()), "{H}", host()),
             f.exitCode);
}

const std::string kInfo = "../Info.plist";
using F = BundleFault;
INSTANTIATE_TEST_SUITE_P(
    Faults, BundleFaultTest,
    ::testing::Values(
        F{"PrincipalClass", kInfo, "<string>FinderSync</string>", "<string>FinderSink</string>",
          "FAIL bundle: {B}: Contents/Info.plist: NSExtension.NSExtensionPrincipalClass is \"FinderSink\", not "
          "\"FinderSync\"", 1},
        F{"IdentifierKey", kInfo, "CFBundleIdentifier<", "CFBundleIdentifer<",
          "FAIL bundle: {B}: Contents/Info.plist: CFBundleIdentifier is missing", 1},
        F{"NotAPropertyList", kInfo, "", "{CFBundleIdentifier = x;}",
          "FAIL bundle: {B}/Contents/Info.plist cannot be read: line 1: the XML has text outside the elements", 1},
        F{"AppGroupKey", kInfo, "TarvelinAppGroup", "TravelinAppGroup",
          "warn app group: \"" + kGroup + "\" (the compiled-in default: {B}/Contents/Info.plist has no TarvelinAppGroup)"},
        F{"AppGroupValue", kInfo, kGroup + "<", "group.other<",  // and its container is missing
          "warn app group: \"group.other\" (the Info.plist's TarvelinAppGroup), not \"" + kGroup + "\", the one group", 1},
        F{"StringsTable", "de.lproj/Localizable.strings", "\"finder.rules.empty\"", "\"finder.rules.empty\" \"",
          "warn tables: {R}: de.lproj/Localizable.strings cannot be read: line"},
        F{"StringsdictTable", "fr.lproj/Localizable.stringsdict", "<string>%#@", "<string>&bogus;%#@",
          "warn tables: {R}: fr.lproj/Localizable.stringsdict cannot be read: line 8: the XML refers to an entity it "
          "does not define, under \"finder.action.merge %lld\" > \"NSStringLocalizedFormatKey\" (the whole table is ignored)"},
        F{"EmptyDevelopmentTable", "en.lproj/Localizable.strings", "", "",
          "warn tables: {R}: en.lproj has no text for the menu's \"finder.section.rules\", \"finder.rules.empty\", "
          "\"finder.section.actions\", \"finder.action.flatten\", \"finder.expiry.title\", \"finder.expiry.keep\": the "
          "menu shows such a key itself"},
        F{"TableTooLarge", "en.lproj/Localizable.strings", "", std::string((16 << 20) + 1, '\n'),
          "warn tables: {R}: cannot read en.lproj/Localizable.strings: is larger than 16777216 bytes (it counts as "
          "absent)"},
        // Each problem of an entry, as stringsdictEntryProblems words it (tests/stand_in), on a line of its own.
        F{"PluralVariableUndefined", "en.lproj/Localizable.stringsdict", ">%#@folders@<", ">%#@folder@<",
          "warn tables: {R}: en.lproj/Localizable.stringsdict: \"finder.action.merge %lld\": its format refers to "
          "\"%#@folder@\", but the entry defines no variable \"folder\""},
        F{"MissingKey", "ja.lproj/Localizable.strings", "\"finder.expiry.keep\"", "\"finder.expiry.kept\"",
          "warn tables: {R}: ja.lproj lacks \"finder.expiry.keep\" (shown from en"},
        F{"Glyph", "BrandGlyph.png", "", "GIF89a",
          "warn glyph: no BrandGlyph image ({R}/BrandGlyph.png is not a whole PNG: it does not begin with the PNG "
          "signature)"},
        F{"GlyphCutShort", "BrandGlyph.png", "", kPng16x16 + std::string("\0\0\0\x40IDAT", 8) + "01234567",
          "warn glyph: BrandGlyph 16x16 shown at 16x16 ({R}/BrandGlyph.png); {R}/BrandGlyph.png is not a whole PNG: the "
          "chunk at byte 33 (\"IDAT\", 64 bytes) runs past the end of the file (cut short)"},
        F{"GlyphTooLarge", "BrandGlyph.png", "", kPng16x16 + std::string(4 << 20, '\0'),
          "warn glyph: BrandGlyph 16x16 shown at 16x16 ({R}/BrandGlyph.png); {R}/BrandGlyph.png is larger than 4194304 "
          "bytes, too large for a glyph"},
        F{"RetinaGlyph", "BrandGlyph@2x.png", "", kPng16x16,
          "warn glyph: BrandGlyph 16x16 shown at 16x16 ({R}/BrandGlyph.png); {R}/BrandGlyph@2x.png is 16x16, not "
          "twice 16x16"},
        F{"HostIdentifier", "@host", kHost + "<", "com.other.App<",
          "warn hand-off: opens {H} (three levels above the bundle file://{B}/), whose CFBundleIdentifier is "
          "\"com.other.App\", not the host bundle identifier \"" + kHost + "\""},
        F{"HostInfoUnreadable", "@host", "", "{",
          "warn hand-off: opens {H} (three levels above the bundle file://{B}/), but {H}/Contents/Info.plist cannot be "
          "read: "},
        F{"ExecutableText", "../MacOS/FerloFinderSync", "", "#!/bin/sh\n",
          "FAIL bundle: {B}: Contents/MacOS/FerloFinderSync is not a Mach-O file (the system loads", 1},
        F{"ExecutableUniversal", "../MacOS/FerloFinderSync", "", std::string("\xca\xfe\xba\xbe\0\0\0\2\1\0\0\7", 12) +
          std::string(16, '\0') + std::string("\1\0\0\x0c", 4) + std::string(16, '\0'),
          "ok   bundle: {B}: Contents/Info.plist (XML): a com.apple.FinderSync extension, principal class FinderSync, "
          "executable Contents/MacOS/FerloFinderSync"}),
    kCaseName);

// A FIFO in the Info.plist's place: refused at once, not waited on.
TEST_F(BundleTest, UnreadableInfoPlistIsAUsageErrorAndADoctorFail) {
  const std::string info = bundle() + "/Contents/Info.plist";
  fs::remove(info);
  ASSERT_EQ(::mkfifo(info.c_str(), 0644), 0);
  EXPECT_EQ(run({"menu"}), (ProcessResult{2, "", "ferlo menu: --bundle: cannot read " + info +
                                                     ": is a FIFO, not a regular file\nTry 'ferlo menu --help'.\n"}));
  expectStep(run({"doctor"}), "FAIL bundle: cannot read " + info +
                                  ": is a FIFO, not a regular file (the system loads no extension from it)", 1);
}

// --bundle-id, --info, --resources and --bundle-url win over the bundle
// though they come first; --info CFBundleIdentifier sets the extension's.
TEST_F(BundleTest, SingleOptionsOverrideTheBundleWhereverTheyStand) {
  const std::string otherURL = "file://" + host() + "/Contents/PlugIns/Other.appex/";
  const auto result = ferlo({"doctor", "--bundle-id", "x.y.FinderSync", "--info", "TarvelinAppGroup=\"g.other\"",
                             "--resources", resources(), "--bundle-url", otherURL, "--bundle", bundle()},
                            false);
  for (const auto& [step, part] :
       {std::pair<std::string, std::string>{"identity", "bundle identifier \"x.y.FinderSync\" (--bundle-id)"},
        {"app group", "\"g.other\" (the Info.plist's TarvelinAppGroup)"},
        {"glyph", "BrandGlyph 20x30 shown at 11x16 (" + resources() + "/BrandGlyph.png)"},
        {"hand-off", "three levels above the bundle " + otherURL + ")"}}) {
    EXPECT_NE(stepLine(result, step).find(part), std::string::npos) << part << "\n" << result.out;
  }
  // --info CFBundleIdentifier names the extension as the Info.plist's own key would, beside --bundle as well.
  EXPECT_TRUE(stepLine(run({"doctor", "--info", "CFBundleIdentifier=\"x.y.Sync\""}), "identity")
                  .starts_with("ok   identity: bundle identifier \"x.y.Sync\" (--info CFBundleIdentifier); host "
                               "bundle identifier \"x.y\""));
}

}  // namespace
}  // namespace ferlo::testing
