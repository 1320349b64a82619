// The program's surface: usage errors (exit 2, a message naming the problem,
// a hint to --help), help on every command, output errors (exit 3) and the
// --on-open hook.
#include <gtest/gtest.h>

#include "platform/file_url.h"
#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

TEST_F(FerloTest, UsageErrorsExitTwoNamingTheProblem) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {  // arguments, a part of stderr
      {{}, "Usage: ferlo COMMAND"},
      {{"frobnicate"}, "ferlo: unknown command \"frobnicate\""},
      {{"menu", "--bogus"}, "ferlo menu: unknown option \"--bogus\"\nTry 'ferlo menu --help'."},
      {{"info", "--tree"}, "ferlo info: unknown option \"--tree\""},
      {{"menu", "--kind"}, "option --kind needs a value"},
      {{"menu", "--kind", "-1"}, "--kind"}, {{"menu", "--kind", "+1"}, "--kind"},
      {{"menu", "--kind", "Items"}, "--kind"}, {{"menu", "--kind", "18446744073709551616"}, "--kind"},
      {{"menu", "--select", "home/x"}, "--select wants a file:// URL or an absolute path"},
      {{"menu", "--process-id", "131072"}, "--process-id wants an integer from 0 to 131071, got \"131072\""},
      {{"menu", "--process-id", "-1"}, "--process-id wants"},
      {{"info", "--info", "TarvelinAppGroup=null"}, "null has no Info.plist form"},
      {{"info", "--info", "TarvelinAppGroup=group.x"}, "not JSON"},
      {{"menu", "extra"}, "unexpected argument \"extra\""},
      {{"click"}, "missing PATH"}, {{"send"}, "missing SELECTOR"},
      {{"help", "frobnicate"}, "unknown command \"frobnicate\""},
      {{"help", "menu", "extra"}, "ferlo help: unexpected argument \"extra\""},
      {{"info", "--group-containers", ""}, "--group-containers wants a directory"},
      {{"doctor", "--bundle", ""}, "--bundle wants a directory, got \"\""},
      {{"check"}, "ferlo check: missing what to check: manifest or request"},
      {{"check", "rules", "x"}, "ferlo check: what to check must be manifest or request, got \"rules\""},
      {{"check", "manifest", "a", "--kind", "1"}, "ferlo check: unknown option \"--kind\"\nTry 'ferlo check --help'."},
      {{"send", "runRule"}, "SELECTOR must be runRule:"},
      {{"send", "runRule:", "runFlatten:"}, "unexpected argument \"runFlatten:\""},
      {{"send", "runRule:", "--object-number", "9223372036854775808"}, "--object-number wants"},
      {{"send", "setExpiry:", "--tag", "x"}, "--tag wants a 64-bit"}, {{"send", "setExpiry:", "--tag="}, "--tag wants"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = ferlo(args, /*withScenario=*/false);
    EXPECT_TRUE(r.exitCode == 2 && r.out.empty() && has(r.err, message) && has(r.err, "--help"))
        << ::testing::PrintToString(r);
  }
}

TEST_F(FerloTest, EveryCommandHasHelp) {
  for (const std::string command : {"info", "menu", "click", "send", "check", "doctor", "demo", "help"}) {
    const auto help = ferlo({command, "--help"}, false);
    EXPECT_TRUE(help.exitCode == 0 && help.err.empty() && help.out.starts_with("Usage: ferlo " + command)) << help.out;
    // -h and help COMMAND say the same.
    EXPECT_EQ(ferlo({command, "-h"}, false), help);
    EXPECT_EQ(ferlo({"help", command}, false), help);
  }
}

// Output that cannot be written is an error (exit 3), never a success: each
// command's stdout on a full device, whatever it would otherwise report; a
// file system filling up midway; and lost findings on stderr.
TEST_F(FerloTest, OutputThatCannotBeWrittenExitsThree) {
  writeFile(dir / "rules.json", R"({"rules":[]})");
  const std::pair<std::vector<std::string>, bool> commands[] = {  // arguments, with the scenario's options
      {{"info"}, true}, {{"menu", "--host-running"}, true}, {{"menu", "--tree"}, true},
      {{"click", "0/3", "--host-running", "--target", "/t/"}, true}, {{"send", "runFlatten:"}, true},
      {{"doctor"}, true},  // would exit 1
      {{"check", "manifest", "rules.json"}, false}, {{"demo"}, false}, {{"help"}, false}, {{"help", "menu"}, false}};
  for (const auto& [args, scenario] : commands) {
    EXPECT_EQ(ferlo(args, scenario, {{"TMPDIR", dir.path()}}, dir.path(), {.stdoutPath = "/dev/full"}),
              (ProcessResult{3, "", "ferlo: cannot write standard output: No space left on device\n"})) << args[0];
  }
  EXPECT_EQ(ferlo({"menu", "--host-running", "--select", "/t/"}, true, {}, "",
                  {.stdoutPath = dir / "out.json", .limits = "-f 1"}),
            (ProcessResult{3, "", "ferlo: cannot write standard output: File too large\n"}));
  EXPECT_EQ(readFile(dir / "out.json").size(), 512u);
  writeFile(dir / "bad.json", "{}");
  EXPECT_EQ(ferlo({"check", "manifest", "bad.json"}, false, {}, dir.path(), {.stderrPath = "/dev/full"}).exitCode, 3);
  EXPECT_EQ(ferlo({"menu", "--bogus"}, false, {}, "", {.stderrPath = "/dev/full"}).exitCode, 3);
  // A reader gone (SIGPIPE ignored) midway through output larger than any buffer.
  std::string rules;
  for (int i = 0; i < 2000; ++i) rules += R"({"id":")" + std::string(kRuleId) + R"(","name":"a rule"},)";
  writeManifest(R"({"rules":[)" + rules + R"({"id":")" + std::string(kRuleId) + R"(","name":"b"}]})");
  for (const std::string tree : {"--pretty", "--tree"}) {
    EXPECT_EQ(ferlo({"menu", tree, "--host-running", "--select", "/t/"}, true, {}, "", {.closedStdout = true}),
              (ProcessResult{3, "", "ferlo: cannot write standard output: Broken pipe\n"})) << tree;
  }
}

// --on-open: the host path reaches the command as exactly one argument,
// however it is spelled, and the command's output goes to stderr; it runs
// only on a hand-off, and its failure is reported, not fatal.
TEST_F(FerloTest, OnOpenGetsTheHostPathAsOneArgument) {
  for (const std::string folder : {"My  Host.app", "a'b\"c$(touch pwned)`touch pwned`;*.app", "-n.app"}) {
    const std::string host = dir / folder;
    const auto result = ferlo({"send", "runFlatten:", "--target", "/t/", "--bundle-url",
                               host + "/Contents/PlugIns/E.appex/", "--on-open",
                               R"(printf 'argc=%s\n' "$#"; printf '<%s>\n')"});
    EXPECT_EQ(result, (ProcessResult{0, "{\"handoff\":{\"url\":\"" + FileURL::fileURLWithPath(host, true).absoluteString() +
                                           "\",\"activates\":true}}\n", "argc=1\n<" + host + ">\n"}));
  }
  EXPECT_FALSE(pathExists(dir / "pwned"));

  // No folder: the command stops at its guard.
  EXPECT_EQ(ferlo({"send", "runFlatten:", "--on-open", "echo ran"}), (ProcessResult{0, "{\"handoff\":null}\n", ""}));
  EXPECT_EQ(ferlo({"send", "runFlatten:", "--target", "/t/", "--on-open", "exit 3; :"}),
            (ProcessResult{0, "{\"handoff\":{\"url\":\"file:///a/H.app/\",\"activates\":true}}\n",
                           "ferlo: --on-open command ended with status 3\n"}));
}

}  // namespace
}  // namespace ferlo::testing
