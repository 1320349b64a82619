// ferlo doctor: the step lines, their order, the verdict line and the exit
// status, for a healthy scenario and for each link that empties the menu;
// and the bundle the build lays out, run through --bundle by doctor, menu
// and click, in the XML and the binary form, whole and broken.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/posix/strings_file.h"
#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The step name of a line "ok   NAME: …", "warn NAME: …" or "FAIL NAME: …".
std::string stepName(const std::string& line) { return line.substr(5, line.find(": ") - 5); }

class DoctorTest : public FerloTest {
 protected:
  void SetUp() override {
    FerloTest::SetUp();
    writeStandardManifest();
  }
  ProcessResult doctor(std::vector<std::string> extra) const {
    std::vector<std::string> all = {"doctor"};
    all.insert(all.end(), extra.begin(), extra.end());
    return ferlo(all);
  }
  // The line of step `name`, or "" when there is none.
  static std::string stepLine(const ProcessResult& result, const std::string& name) {
    for (const std::string& line : lines(result.out)) {
      if (line.size() > 5 && line.rfind("result: ", 0) != 0 && stepName(line) == name) return line;
    }
    return "";
  }
};

TEST_F(DoctorTest, HealthyScenarioWalksEveryStepInMenuBuildOrder) {
  const auto result = doctor({"--host-running", "--select", home() + "/A/", "--select", home() + "/in/x.txt"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(result.err, "");
  const auto all = lines(result.out);
  ASSERT_EQ(all.size(), 11u) << result.out;
  std::vector<std::string> names;
  for (std::size_t i = 0; i + 1 < all.size(); ++i) {
    EXPECT_TRUE(all[i].rfind("ok   ", 0) == 0 || all[i].rfind("warn ", 0) == 0) << all[i];
    names.push_back(stepName(all[i]));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"kind", "identity", "host", "app group", "container", "rules.json",
                                             "glyph", "localisation", "selection", "hand-off"}));
  EXPECT_EQ(all.back(), "result: the full menu would show");
  EXPECT_EQ(stepLine(result, "container"), "ok   container: " + container() + "/ exists");
  EXPECT_EQ(stepLine(result, "rules.json"), "ok   rules.json: " + container() + "/rules.json: 1 rule, 1 watched root");
  EXPECT_EQ(stepLine(result, "glyph"),
            "ok   glyph: BrandGlyph 20x30 shown at 11x16 (" + resources() + "/BrandGlyph.png)");
  EXPECT_EQ(stepLine(result, "hand-off"),
            "ok   hand-off: opens /a/H.app (three levels above the bundle file:///a/H.app/b/c/E.appex/)");
}

struct FailCase {
  const char* name;
  std::vector<std::string> options;  // "@" stands for the test directory
  std::string step;                  // the first failing step
  std::string detail;                // its text after "STEP: "; "@" the test directory
  bool manifestMissing = false;
};

class DoctorFailTest : public DoctorTest, public ::testing::WithParamInterface<FailCase> {};

std::string expand(std::string text, const std::string& dir) {
  for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + dir.size())) {
    text.replace(at, 1, dir);
  }
  return text;
}

TEST_P(DoctorFailTest, NamesTheFirstBrokenLinkAndExitsOne) {
  if (GetParam().manifestMissing) std::filesystem::remove(container() + "/rules.json");
  std::vector<std::string> options;
  for (const std::string& option : GetParam().options) options.push_back(expand(option, dir.path()));
  const auto result = doctor(options);
  EXPECT_EQ(result.exitCode, 1) << result.out;
  const std::string detail = expand(GetParam().detail, dir.path());
  EXPECT_EQ(stepLine(result, GetParam().step), "FAIL " + GetParam().step + ": " + detail) << result.out;
  const auto all = lines(result.out);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back(), "result: the menu would be empty: " + GetParam().step + ": " + detail);
}

const std::string kGroup = std::string(defaultAppGroupIdentifier());
const std::string kHost = std::string(defaultHostBundleIdentifier());

INSTANTIATE_TEST_SUITE_P(
    Links, DoctorFailTest,
    ::testing::Values(
        FailCase{"SidebarKind", {"--host-running", "--kind", "sidebar"}, "kind",
                 "2 (sidebar): the extension offers nothing in this menu; only items (0) and container (1) get the "
                 "Ferlo entry"},
        FailCase{"HostNotRunning", {"--running", "com.other.App"}, "host",
                 "no running application has bundle identifier \"" + kHost +
                     "\"; the menu shows only while the host runs (--host-running, or --running " + kHost + ")"},
        FailCase{"ContainerMissing", {"--host-running", "--info", R"(TarvelinAppGroup="group.none")"}, "container",
                 "no container for app group \"group.none\": @/gc/group.none/ does not exist (the containers root is "
                 "@/gc; --group-containers)"},
        FailCase{"ManifestMissing", {"--host-running"}, "rules.json",
                 "cannot read @/gc/" + kGroup + "/rules.json: No such file or directory (the host application writes it)",
                 true},
        // Every step stays one line, whatever bytes a path holds.
        FailCase{"PathWithControlCharacters", {"--host-running", "--group-containers", "@/g\nc\t\x7f\xff\xc3\xa9"},
                 "container",
                 "no container for app group \"" + kGroup +
                     "\": the containers root @/g\\nc\\t\\x7F\\xFF\xc3\xa9 does not exist (--group-containers)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct WarnCase {
  const char* name;
  std::vector<std::string> options;
  std::string step;
  std::string detailStart;  // the start of its text after "STEP: "
};

class DoctorWarnTest : public DoctorTest, public ::testing::WithParamInterface<WarnCase> {};

TEST_P(DoctorWarnTest, WarningsLeaveTheMenuFull) {
  makeDirectories(dir / "fifo/en.lproj");
  ASSERT_EQ(::mkfifo((dir / "fifo/en.lproj/Localizable.strings").c_str(), 0600), 0);
  std::vector<std::string> options = {"--host-running"};
  for (const std::string& option : GetParam().options) options.push_back(expand(option, dir.path()));
  const auto result = doctor(options);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  const std::string line = stepLine(result, GetParam().step);
  const std::string expected = "warn " + GetParam().step + ": " + expand(GetParam().detailStart, dir.path());
  EXPECT_EQ(line.substr(0, expected.size()), expected) << result.out;
  EXPECT_EQ(lines(result.out).back(), "result: the full menu would show");
}

INSTANTIATE_TEST_SUITE_P(
    Warnings, DoctorWarnTest,
    ::testing::Values(
        WarnCase{"NoGlyph", {"--resources", "@/empty"}, "glyph",
                 "no BrandGlyph image (@/empty/BrandGlyph.png is missing): the Ferlo entry shows without an image"},
        WarnCase{"BundleOutsideAnApp", {"--bundle-url", "/x/y/z/E.appex/"}, "hand-off",
                 "opens /x (three levels above the bundle file:///x/y/z/E.appex/), which does not look like an "
                 "application"},
        // A table that cannot be read (a FIFO would block) counts as absent, and doctor says why.
        WarnCase{"UnreadableTable", {"--resources", "@/fifo"}, "localisation",
                 "language \"en\" (locale \"en_US\"), table @/fifo/en.lproj: cannot read "
                 "@/fifo/en.lproj/Localizable.strings: is a FIFO, not a regular file (a table that cannot be read counts as absent)"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- --bundle: the bundle the build lays out ----

class BundleTest : public DoctorTest {
 protected:
  void SetUp() override {
    DoctorTest::SetUp();
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(bundle()).parent_path());
    fs::copy(FERLO_BUNDLE_DIR, bundle(), fs::copy_options::recursive);
    writeFile(host() + "/Contents/Info.plist", hostInfo(kHost));
  }
  [[nodiscard]] std::string host() const { return dir / "Host.app"; }
  [[nodiscard]] std::string bundle() const { return host() + "/Contents/PlugIns/FerloFinderSync.appex"; }
  static std::string hostInfo(const std::string& identifier) {
    return "<plist><dict><key>CFBundleIdentifier</key><string>" + identifier + "</string></dict></plist>";
  }
  // {B}, {R} and {H} in `text` replaced by the bundle, its resources and the host.
  std::string expand(std::string text) const {
    for (const auto& [mark, path] : {std::pair<std::string, std::string>{"{B}", bundle()},
                                     {"{R}", bundle() + "/Contents/Resources"}, {"{H}", host()}}) {
      for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) text.replace(at, 3, path);
    }
    return text;
  }
  // Runs `command` on the bundle with a running host and a selected folder.
  ProcessResult run(std::vector<std::string> command) const {
    const std::vector<std::string> options = {"--bundle", bundle(), "--group-containers", containers(),
                                              "--locale", "en_US", "--user-home", home(), "--platform-home",
                                              home(), "--host-running", "--select", home() + "/A/", "--process-id", "1"};
    command.insert(command.end(), options.begin(), options.end());
    return ferlo(command, false);
  }
  // Replaces `from` by `to` in the bundle's file `relative` (all of it when
  // `from` is empty).
  void edit(const std::string& relative, const std::string& from, const std::string& to) const {
    const std::string path = relative.starts_with("/") ? relative : bundle() + "/" + relative;
    std::string text = readFile(path);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << relative << " has no " << from;
    text = from.empty() ? to : text.replace(at, from.size(), to);
    writeFile(path, text);
  }
  struct Runs {
    ProcessResult doctor, menu, click;
  };
  Runs runAll() const {
    return {run({"doctor"}), run({"menu", "--tree"}), run({"click", "0/1"})};
  }
};

TEST_F(BundleTest, ShippedBundlePassesDoctorAndDrivesMenuAndClick) {
  const Runs runs = runAll();
  EXPECT_EQ(runs.doctor.exitCode, 0) << runs.doctor.out;
  const auto all = lines(runs.doctor.out);
  ASSERT_EQ(all.size(), 13u) << runs.doctor.out;
  std::vector<std::string> names;
  for (std::size_t i = 0; i + 1 < all.size(); ++i) names.push_back(stepName(all[i]));
  EXPECT_EQ(names, (std::vector<std::string>{"bundle", "kind", "identity", "host", "app group", "container",
                                             "rules.json", "glyph", "localisation", "tables", "selection",
                                             "hand-off"}));
  // Only a bundle laid out without the SDK may warn, for its executable.
  const bool executable = pathExists(bundle() + "/Contents/MacOS/FerloFinderSync");
  EXPECT_EQ(all[0].substr(0, 5), executable ? "ok   " : "warn ") << all[0];
  EXPECT_NE(all[0].find(executable ? "principal class FinderSync, executable Contents/MacOS/FerloFinderSync"
                                   : "Contents/MacOS/FerloFinderSync is missing"),
            std::string::npos)
      << all[0];
  for (std::size_t i = 1; i + 1 < all.size(); ++i) EXPECT_EQ(all[i].substr(0, 5), "ok   ") << all[i];
  EXPECT_EQ(all.back(), "result: the full menu would show");
  EXPECT_EQ(stepLine(runs.doctor, "hand-off"),
            "ok   hand-off: opens " + host() + " (three levels above the bundle file://" + bundle() + "/)");

  ASSERT_EQ(runs.menu.exitCode, 0) << runs.menu.err;
  EXPECT_EQ(runs.menu.out.substr(0, runs.menu.out.find("0/2")),
            "0    Ferlo  [image BrandGlyph 16x16]\n"
            "0/0  ├─ RULES  [styled, title \"Rules\", disabled]\n"
            "0/1  ├─ Tidy  [runRule: → principal, object \"" + std::string(kRuleId) + "\", tag 2147483648]\n");
  EXPECT_EQ(runs.click.out, "{\"handoff\":{\"url\":\"file://" + host() + "/\",\"activates\":true}}\n");
  EXPECT_NE(readFile(requestFile()).find("\"action\":\"runRule\""), std::string::npos);
}

// Every property list of the bundle stored in the binary form, as Xcode
// may store them: the same verdicts, the same menu, the same hand-off.
TEST_F(BundleTest, BinaryFormGivesTheSameChecksMenuAndClick) {
  const Runs xml = runAll();
  std::size_t converted = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(bundle())) {
    const std::string path = entry.path();
    if (!path.ends_with(".plist") && !path.ends_with(".strings") && !path.ends_with(".stringsdict")) continue;
    std::string bytes = readFile(path);
    if (path.ends_with(".strings")) {  // the text form: as a dictionary of texts
      std::string entries;
      const auto table = ferlo::parseStringsFile(bytes);
      ASSERT_TRUE(table.table.has_value()) << path;
      for (const auto& [key, text] : *table.table) entries += "<key>" + key + "</key><string>" + text + "</string>";
      bytes = "<plist><dict>" + entries + "</dict></plist>";
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
    ASSERT_TRUE(readFile(path).starts_with("bplist00")) << path;
    ++converted;
  }
  EXPECT_GE(converted, 3u);
  const Runs binary = runAll();
  std::string expected = xml.doctor.out;
  expected.replace(expected.find("Contents/Info.plist (XML)"), 25, "Contents/Info.plist (binary)");
  EXPECT_EQ(binary.doctor.out, expected);
  EXPECT_EQ(binary.doctor.exitCode, 0);
  EXPECT_EQ(binary.menu.out, xml.menu.out);
  EXPECT_EQ(binary.click.out, xml.click.out);
}

struct BundleFault {
  const char* name;
  std::string file;    // relative to the bundle; "@host" the host's Info.plist
  std::string from;    // replaced by `to`; empty: the whole file
  std::string to;
  std::string line;    // the start of the step's line; {B}, {R}, {H} as in expand()
  int exitCode = 0;
};

class BundleFaultTest : public BundleTest, public ::testing::WithParamInterface<BundleFault> {};

TEST_P(BundleFaultTest, DoctorNamesTheFileAndKey) {
  const BundleFault& fault = GetParam();
  edit(fault.file == "@host" ? host() + "/Contents/Info.plist" : fault.file, fault.from, fault.to);
  const auto result = run({"doctor"});
  EXPECT_EQ(result.exitCode, fault.exitCode) << result.out;
  const std::string expected = expand(fault.line);
  const std::string name = stepName(expected);
  EXPECT_EQ(stepLine(result, name).substr(0, expected.size()), expected) << result.out;
  if (expected.starts_with("FAIL")) {
    EXPECT_TRUE(lines(result.out).back().starts_with("result: the menu would be empty: " + name)) << result.out;
  }
}

const std::string kInfo = "Contents/Info.plist";
INSTANTIATE_TEST_SUITE_P(
    Faults, BundleFaultTest,
    ::testing::Values(
        BundleFault{"PrincipalClass", kInfo, "<string>FinderSync</string>", "<string>FinderSink</string>",
                    "FAIL bundle: {B}: Contents/Info.plist: NSExtension.NSExtensionPrincipalClass is "
                    "\"FinderSink\", not \"FinderSync\"",
                    1},
        BundleFault{"IdentifierKey", kInfo, "CFBundleIdentifier<", "CFBundleIdentifer<",
                    "FAIL bundle: {B}: Contents/Info.plist: CFBundleIdentifier is missing", 1},
        BundleFault{"NotAPropertyList", kInfo, "", "{CFBundleIdentifier = x;}",
                    "FAIL bundle: {B}/Contents/Info.plist cannot be read: the XML has text outside the elements", 1},
        BundleFault{"AppGroupKey", kInfo, "TarvelinAppGroup", "TravelinAppGroup",
                    "warn app group: \"" + kGroup + "\" (the compiled-in default: {B}/Contents/Info.plist has no "
                    "TarvelinAppGroup)"},
        BundleFault{"AppGroupValue", kInfo, kGroup + "<", "group.other<",
                    "warn app group: \"group.other\" (the Info.plist's TarvelinAppGroup), not \"" + kGroup +
                        "\", the one group",
                    1},  // and its container is missing
        BundleFault{"StringsTable", "Contents/Resources/de.lproj/Localizable.strings", "\"finder.rules.empty\"",
                    "\"finder.rules.empty\" \"",
                    "warn tables: {R}: de.lproj/Localizable.strings cannot be read: line"},
        BundleFault{"StringsdictTable", "Contents/Resources/fr.lproj/Localizable.stringsdict", "<string>%#@",
                    "<string>&bogus;%#@",
                    "warn tables: {R}: fr.lproj/Localizable.stringsdict cannot be read: libplist cannot read it as an "
                    "XML property list (the whole table is ignored)"},
        BundleFault{"MissingKey", "Contents/Resources/ja.lproj/Localizable.strings", "\"finder.expiry.keep\"",
                    "\"finder.expiry.kept\"", "warn tables: {R}: ja.lproj lacks \"finder.expiry.keep\" (shown from en"},
        BundleFault{"Glyph", "Contents/Resources/BrandGlyph.png", "", "GIF89a",
                    "warn glyph: no BrandGlyph image ({R}/BrandGlyph.png is not a readable PNG)"},
        BundleFault{"RetinaGlyph", "Contents/Resources/BrandGlyph@2x.png", "", pngHeader(16, 16),
                    "warn glyph: BrandGlyph 16x16 shown at 16x16 ({R}/BrandGlyph.png); {R}/BrandGlyph@2x.png is 16x16, "
                    "not twice 16x16"},
        BundleFault{"HostIdentifier", "@host", kHost + "<", "com.other.App<",
                    "warn hand-off: opens {H} (three levels above the bundle file://{B}/), whose CFBundleIdentifier is "
                    "\"com.other.App\", not the host bundle identifier \"" + kHost + "\""}),
    [](const auto& info) { return std::string(info.param.name); });

// A FIFO in the Info.plist's place: refused at once, not waited on.
TEST_F(BundleTest, UnreadableInfoPlistIsAUsageErrorAndADoctorFail) {
  const std::string info = bundle() + "/Contents/Info.plist";
  std::filesystem::remove(info);
  ASSERT_EQ(::mkfifo(info.c_str(), 0644), 0);
  const auto menu = run({"menu"});
  EXPECT_EQ(menu.exitCode, 2);
  EXPECT_EQ(menu.err, "ferlo menu: --bundle: cannot read " + info +
                          ": is a FIFO, not a regular file\nTry 'ferlo menu --help'.\n");
  const auto doctor = run({"doctor"});
  EXPECT_EQ(doctor.exitCode, 1) << doctor.out;
  const std::string fail = "cannot read " + info + ": is a FIFO, not a regular file (the system loads no extension from it)";
  EXPECT_EQ(stepLine(doctor, "bundle"), "FAIL bundle: " + fail);
  EXPECT_EQ(lines(doctor.out).back(), "result: the menu would be empty: bundle: " + fail);
}

// --bundle-id, --info, --resources and --bundle-url win over the bundle
// though they come first.
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
}

}  // namespace
}  // namespace ferlo::testing
