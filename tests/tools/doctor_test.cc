// ferlo doctor: the step lines, their order, the verdict line and the exit
// status, for a healthy scenario and for each link that empties the menu.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

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

}  // namespace
}  // namespace ferlo::testing
