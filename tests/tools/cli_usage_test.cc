// The program's surface: usage errors (exit 2, a message naming the problem,
// a hint to --help), help on every command, and the --on-open hook.
#include <gtest/gtest.h>

#include "platform/file_url.h"
#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;  // expected in stderr
};

class UsageTest : public FerloTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, ExitsTwoNamingTheProblem) {
  const auto result = ferlo(GetParam().args, /*withScenario=*/false);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("--help"), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, UsageTest,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "Usage: ferlo COMMAND"},
        UsageCase{"UnknownCommand", {"frobnicate"}, "ferlo: unknown command \"frobnicate\""},
        UsageCase{"UnknownOption", {"menu", "--bogus"}, "ferlo menu: unknown option \"--bogus\"\nTry 'ferlo menu --help'."},
        UsageCase{"OptionOfAnotherCommand", {"info", "--tree"}, "ferlo info: unknown option \"--tree\""},
        UsageCase{"MissingValue", {"menu", "--kind"}, "option --kind needs a value"},
        UsageCase{"RelativeSelect", {"menu", "--select", "home/x"}, "--select wants a file:// URL or an absolute path"},
        UsageCase{"InfoNull", {"info", "--info", "TarvelinAppGroup=null"}, "null has no Info.plist form"},
        UsageCase{"InfoNotJson", {"info", "--info", "TarvelinAppGroup=group.x"}, "not JSON"},
        UsageCase{"StrayOperand", {"menu", "extra"}, "unexpected argument \"extra\""},
        UsageCase{"ClickMissingPath", {"click"}, "missing PATH"},
        UsageCase{"HelpForUnknownCommand", {"help", "frobnicate"}, "unknown command \"frobnicate\""},
        UsageCase{"HelpForTwoCommands", {"help", "menu", "extra"}, "ferlo help: unexpected argument \"extra\""},
        UsageCase{"EmptyContainersRoot", {"info", "--group-containers", ""}, "--group-containers wants a directory"}),
    [](const auto& info) { return std::string(info.param.name); });

class HelpTest : public FerloTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(HelpTest, EveryCommandHasHelp) {
  const std::string& command = GetParam();
  const auto help = ferlo({command, "--help"}, false);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("Usage: ferlo " + command, 0), 0u) << help.out;
  // -h and help COMMAND say the same.
  EXPECT_EQ(ferlo({command, "-h"}, false).out, help.out);
  EXPECT_EQ(ferlo({"help", command}, false).out, help.out);
}

INSTANTIATE_TEST_SUITE_P(Commands, HelpTest,
                         ::testing::Values("info", "menu", "click", "send", "check", "doctor", "demo", "help"));

// Output that cannot be written is an error (exit 3), never a success: each
// command's stdout on a full device, whatever it would otherwise report.
struct OutputCase {
  const char* name;
  std::vector<std::string> args;
  bool scenario = true;  // add the scenario options
};

class OutputErrorTest : public FerloTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputErrorTest, FullDeviceExitsThree) {
  writeStandardManifest();
  writeFile(dir / "rules.json", R"({"rules":[]})");
  const auto result = ferlo(GetParam().args, GetParam().scenario, {{"TMPDIR", dir.path()}}, dir.path(),
                            ProcessIo::output("/dev/full"));
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.err, "ferlo: cannot write standard output: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OutputErrorTest,
    ::testing::Values(OutputCase{"Info", {"info"}}, OutputCase{"Menu", {"menu", "--host-running"}},
                      OutputCase{"Tree", {"menu", "--tree"}},
                      OutputCase{"Click", {"click", "0/3", "--host-running", "--target", "/t/"}},
                      OutputCase{"Send", {"send", "runFlatten:"}},
                      OutputCase{"DoctorEmptyMenu", {"doctor"}},  // would exit 1
                      OutputCase{"Check", {"check", "manifest", "rules.json"}, false},
                      OutputCase{"Demo", {"demo"}, false}, OutputCase{"Help", {"help"}, false},
                      OutputCase{"HelpOfCommand", {"help", "menu"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FerloTest, ShortWriteAndLostStderrAreOutputErrors) {
  // A file system that fills up midway: the document is cut, and that is no success.
  writeStandardManifest();
  const auto cut = ferlo({"menu", "--host-running", "--select", "/t/"}, true, {}, "",
                         ProcessIo::output(dir / "out.json", 100));
  EXPECT_EQ(cut.exitCode, 3);
  EXPECT_EQ(cut.err, "ferlo: cannot write standard output: File too large\n");
  EXPECT_EQ(readFile(dir / "out.json").size(), 100u);
  // The findings of check and of a usage error go to stderr; lost, they are an output error too.
  writeFile(dir / "bad.json", "{}");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"check", "manifest", "bad.json"},
                                               std::vector<std::string>{"menu", "--bogus"}}) {
    const auto lost = ferlo(args, false, {}, dir.path(), ProcessIo::errors("/dev/full"));
    EXPECT_EQ(lost.exitCode, 3) << args[0];
  }
}

// --on-open: the host path reaches the command as exactly one argument,
// however it is spelled, and the command's output goes to stderr.
struct OnOpenCase {
  const char* name;
  std::string hostFolder;  // the host application's folder under the test directory
};

class OnOpenTest : public FerloTest, public ::testing::WithParamInterface<OnOpenCase> {};

TEST_P(OnOpenTest, HostPathIsOneArgument) {
  const std::string host = dir / GetParam().hostFolder;
  const auto result = ferlo({"send", "runFlatten:", "--target", "/t/", "--bundle-url",
                             host + "/Contents/PlugIns/E.appex/", "--on-open",
                             R"(printf 'argc=%s\n' "$#"; printf '<%s>\n')"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "argc=1\n<" + host + ">\n");
  EXPECT_EQ(result.out, "{\"handoff\":{\"url\":\"" + FileURL::fileURLWithPath(host, true).absoluteString() +
                            "\",\"activates\":true}}\n");
  EXPECT_FALSE(pathExists(dir / "pwned"));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OnOpenTest,
    ::testing::Values(OnOpenCase{"Spaces", "My  Host.app"},
                      OnOpenCase{"ShellSyntax", "a'b\"c$(touch pwned)`touch pwned`;*.app"}, OnOpenCase{"LeadingDash", "-n.app"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FerloTest, OnOpenRunsOnlyOnAHandoffAndItsFailureIsReportedNotFatal) {
  const auto stopped = ferlo({"send", "runFlatten:", "--on-open", "echo ran"});  // no folder: stops at its guard
  EXPECT_EQ(stopped.exitCode, 0);
  EXPECT_EQ(stopped.err, "");
  EXPECT_EQ(stopped.out, "{\"handoff\":null}\n");

  const auto failing = ferlo({"send", "runFlatten:", "--target", "/t/", "--on-open", "exit 3; :"});
  EXPECT_EQ(failing.exitCode, 0);
  EXPECT_EQ(failing.err, "ferlo: --on-open command ended with status 3\n");
  EXPECT_EQ(failing.out, std::string("{\"handoff\":{\"url\":\"") + kHostURL + "\",\"activates\":true}}\n");
}

}  // namespace
}  // namespace ferlo::testing
