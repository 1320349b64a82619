// ferlo check: the one-line verdict for each kind of valid and broken file,
// byte for byte, and the exit status that separates "invalid" (1) from
// "cannot read" (2).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

constexpr const char* kId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";

struct CheckCase {
  const char* name;
  std::string kind;  // manifest or request
  std::string content;
  int exitCode;
  std::string out;  // whole stdout
  std::string err;  // whole stderr
};

class CheckTest : public FerloTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckTest, PrintsOneExactLine) {
  const std::string file = GetParam().kind == "manifest" ? "rules.json" : "tool-request.json";
  writeFile(dir / file, GetParam().content);
  // Run in the test's directory so that FILE is printed as given: relative.
  const auto result = ferlo({"check", GetParam().kind, file}, /*withScenario=*/false, {}, dir.path());
  EXPECT_EQ(result.exitCode, GetParam().exitCode);
  EXPECT_EQ(result.out, GetParam().out);
  EXPECT_EQ(result.err, GetParam().err);
}

std::string rule(const std::string& id, const std::string& name) {
  return R"({"id":")" + id + R"(","name":")" + name + R"("})";
}

CheckCase manifestCase(const char* name, std::string content, std::string problem) {
  return {name, "manifest", std::move(content), 1, "", "rules.json: " + problem + "\n"};
}

CheckCase requestCase(const char* name, std::string content, std::string problem) {
  return {name, "request", std::move(content), 1, "", "tool-request.json: " + problem + "\n"};
}

const std::string kUuidExample = "(expected 36 characters like 0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30, ";

INSTANTIATE_TEST_SUITE_P(
    Manifests, CheckTest,
    ::testing::Values(
        CheckCase{"TwoRulesTwoRoots", "manifest",
                  R"({"rules":[)" + rule(kId, "a") + "," + rule(kId, "b") + R"(],"watchedRoots":["/a","/b"]})", 0,
                  "rules.json: valid rule manifest: 2 rules, 2 watched roots\n", ""},
        CheckCase{"OneRuleRootsNull", "manifest", R"({"rules":[)" + rule(kId, "a") + R"(],"watchedRoots":null})", 0,
                  "rules.json: valid rule manifest: 1 rule, watchedRoots absent\n", ""},
        CheckCase{"EmptyListsAndUnknownMembers", "manifest", R"({"x":1,"rules":[],"watchedRoots":[],"y":null})", 0,
                  "rules.json: valid rule manifest: 0 rules, 0 watched roots\n", ""},
        CheckCase{"LowerCaseIdAndOneRoot", "manifest",
                  R"({"rules":[)" + rule("0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30", "") + R"(],"watchedRoots":["/"]})",
                  0, "rules.json: valid rule manifest: 1 rule, 1 watched root\n", ""},
        manifestCase("EmptyFile", "", "(document): the document is empty or holds only white space"),
        manifestCase("RulesMissing", "{}", "(document): missing required member \"rules\""),
        manifestCase("NameMissing", R"({"rules":[{"id":")" + std::string(kId) + R"("}]})",
                     "rules[0]: missing required member \"name\""),
        manifestCase("ThirdIdInBraces",
                     R"({"rules":[)" + rule(kId, "a") + "," + rule(kId, "b") + "," +
                         rule("{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3}", "c") + "]}",
                     "rules[2].id: not in UUID text form " + kUuidExample +
                         "got 37 characters: \"{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3}\")"),
        manifestCase("RootsText", R"({"rules":[],"watchedRoots":"x"})",
                     "watchedRoots: expected an array of strings or null, got a string"),
        manifestCase("TrailingComma", R"({"rules":[], })",
                     "(document): not valid JSON: The JSON document has an improper structure: missing or superfluous "
                     "commas, braces, missing keys, etc."),
        manifestCase("InvalidUtf8", "{\"rules\":[" + rule(kId, "\xff") + "]}",
                     "(document): invalid UTF-8: the document must be UTF-8 text (The input is not valid UTF-8)")),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Requests, CheckTest,
    ::testing::Values(
        CheckCase{"Merge", "request", R"({"action":"mergeFolders","folders":["\/a","\/b"]})", 0,
                  "tool-request.json: valid tool request: mergeFolders, 2 folders\n", ""},
        CheckCase{"Rule", "request", R"({"action":"runRule","folders":["\/a"],"ruleID":")" + std::string(kId) + "\"}",
                  0, "tool-request.json: valid tool request: runRule, 1 folder, ruleID \"" + std::string(kId) + "\"\n",
                  ""},
        CheckCase{"ExpiryDays", "request", R"({"action":"expireFiles","folders":[],"files":["\/a"],"days":7})", 0,
                  "tool-request.json: valid tool request: expireFiles, 0 folders, 1 file, days 7\n", ""},
        CheckCase{"ExpiryNullsAreAbsent", "request",
                  R"({"action":"expireFiles","folders":[],"files":["\/a","\/b"],"days":null,"ruleID":null})", 0,
                  "tool-request.json: valid tool request: expireFiles, 0 folders, 2 files\n", ""},
        requestCase("ActionCase", R"({"action":"RunRule","folders":[]})",
                    "action: unknown action \"RunRule\" (expected one of mergeFolders, flattenFolder, runRule, "
                    "expireFiles; case matters)"),
        requestCase("FolderNumber", R"({"action":"runRule","folders":[1]})",
                    "folders[0]: expected a string, got a number"),
        requestCase("DaysFraction", R"({"action":"expireFiles","folders":[],"days":1.5})",
                    "days: expected an integer within the 64-bit signed range, got a number with a fraction or an "
                    "exponent (1.5)"),
        requestCase("DaysBeyondInt64", R"({"action":"runRule","folders":[],"days":9223372036854775808})",
                    "days: expected an integer within the 64-bit signed range, got 9223372036854775808")),
    [](const auto& info) { return std::string(info.param.name); });

struct UnreadableCase {
  const char* name;
  std::string file;  // relative to the test directory
  std::string reason;
};

class CheckUnreadableTest : public FerloTest, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(CheckUnreadableTest, ExitsTwoWithTheReason) {
  makeDirectories(dir / "folder.json");
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  // A FIFO without a writer must be refused at once, not waited on.
  const auto result = ferlo({"check", "manifest", GetParam().file}, /*withScenario=*/false, {}, dir.path());
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "ferlo check: cannot read " + GetParam().file + ": " + GetParam().reason + "\n");
}

INSTANTIATE_TEST_SUITE_P(Files, CheckUnreadableTest,
                         ::testing::Values(UnreadableCase{"Missing", "missing.json", "No such file or directory"},
                                           UnreadableCase{"Directory", "folder.json", "is a directory"},
                                           UnreadableCase{"Fifo", "fifo.json",
                                                          "is a FIFO, not a regular file (give - as FILE to read "
                                                          "standard input)"}),
                         [](const auto& info) { return std::string(info.param.name); });

// "-" is standard input, be it a pipe or a file; /dev/stdin on a pipe is a
// FIFO like any other and is refused with a pointer to "-".
TEST_F(FerloTest, CheckDashReadsStandardInput) {
  writeFile(dir / "request.json", R"({"action":"flattenFolder","folders":["\/a"]})");
  const struct {
    std::vector<std::string> args;
    ProcessIo io;
    int exitCode;
    std::string out, err;
  } cases[] = {
      {{"manifest", "-"}, ProcessIo::input(R"({"rules":[],"watchedRoots":["/a"]})"), 0,
       "-: valid rule manifest: 0 rules, 1 watched root\n", ""},
      {{"manifest", "-"}, ProcessIo::input("[]"), 1, "", "-: (document): the top level must be an object, got an array\n"},
      {{"request", "-"}, ProcessIo::inputFile(dir / "request.json"), 0, "-: valid tool request: flattenFolder, 1 folder\n", ""},
      {{"request", "/dev/stdin"}, ProcessIo::input("{}"), 2, "",
       "ferlo check: cannot read /dev/stdin: is a FIFO, not a regular file (give - as FILE to read standard input)\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto result = ferlo(args, false, {}, "", c.io);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args[1] << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
  }
}

struct CheckUsageCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};

class CheckUsageTest : public FerloTest, public ::testing::WithParamInterface<CheckUsageCase> {};

TEST_P(CheckUsageTest, IsAUsageError) {
  const auto result = ferlo(GetParam().args, false);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "ferlo check: " + GetParam().message + "\nTry 'ferlo check --help'.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Usage, CheckUsageTest,
    ::testing::Values(CheckUsageCase{"Nothing", {"check"}, "missing what to check: manifest or request"},
                      CheckUsageCase{"UnknownKind", {"check", "rules", "x"},
                                     "what to check must be manifest or request, got \"rules\""},
                      CheckUsageCase{"ScenarioOptionNotTaken", {"check", "manifest", "a", "--kind", "1"},
                                     "unknown option \"--kind\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo::testing
