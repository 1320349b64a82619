// ferlo click and ferlo send: the request file's exact bytes and the
// hand-off, for each command, its guards and its usage errors.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

constexpr const char* kHandoff = "{\"handoff\":{\"url\":\"file:///a/H.app/\",\"activates\":true}}\n";
constexpr const char* kNoHandoff = "{\"handoff\":null}\n";

// `path` as the request file writes it: every "/" as "\/".
std::string escaped(const std::string& path) {
  std::string out;
  for (const char c : path) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

class ClickTest : public FerloTest {
 protected:
  void SetUp() override {
    FerloTest::SetUp();
    writeStandardManifest();
  }
  ProcessResult click(const std::string& path, std::vector<std::string> extra = {}) const {
    std::vector<std::string> all = {"click", path, "--host-running", "--select", home() + "/A/",
                                    "--select", home() + "/B/", "--select", home() + "/in/x.txt",
                                    "--select", home() + "/in/Café.txt"};
    all.insert(all.end(), extra.begin(), extra.end());
    return ferlo(all);
  }
};

struct ClickCase {
  const char* name;
  std::string path;
  std::string request;  // "@" stands for the escaped home directory
  std::vector<std::string> extra = {};
};

class ClickItemTest : public ClickTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(ClickItemTest, WritesTheRequestAndHandsOffOnce) {
  const auto result = click(GetParam().path, GetParam().extra);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kHandoff);
  EXPECT_EQ(result.err, "");
  std::string expected = GetParam().request;
  for (auto at = expected.find('@'); at != std::string::npos; at = expected.find('@')) {
    expected.replace(at, 1, escaped(home()));
  }
  EXPECT_EQ(readFile(requestFile()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ClickItemTest,
    ::testing::Values(
        // The Finder's copy of the rule item has no represented object: its tag finds the rule.
        ClickCase{"Rule", "0/1", R"({"action":"runRule","folders":["@\/A"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})"},
        ClickCase{"RuleOriginalSender", "0/1",
                  R"({"action":"runRule","folders":["@\/A"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})",
                  {"--original-sender", "--process-id", "1"}},
        ClickCase{"Flatten", "0/3", R"({"action":"flattenFolder","folders":["@\/A"]})"},
        ClickCase{"Merge", "0/4", R"({"action":"mergeFolders","folders":["@\/A","@\/B"]})"},
        ClickCase{"SevenDays", "0/5/1",
                  R"({"action":"expireFiles","folders":[],"files":["@\/in\/x.txt","@\/in\/Café.txt"],"days":7})"},
        ClickCase{"KeepHasNoDays", "0/5/4",
                  R"({"action":"expireFiles","folders":[],"files":["@\/in\/x.txt","@\/in\/Café.txt"]})"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadPathCase {
  const char* name;
  std::string path;
  std::string message;  // expected in stderr
};

class ClickBadPathTest : public ClickTest, public ::testing::WithParamInterface<BadPathCase> {};

TEST_P(ClickBadPathTest, IsAUsageErrorThatDoesNothing) {
  const auto result = click(GetParam().path);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Try 'ferlo click --help'."), std::string::npos) << result.err;
  EXPECT_FALSE(pathExists(requestFile()));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ClickBadPathTest,
    ::testing::Values(
        BadPathCase{"RootEntry", "0", "item 0 (Ferlo) has no action"},
        BadPathCase{"Separator", "0/5/3", "item 0/5/3 is a separator"},
        BadPathCase{"PastTheSubmenu", "0/6", "no item at 0/6: the submenu of 0 has 6 items"},
        BadPathCase{"NotANumber", "x", "PATH wants zero-based indices"},
        BadPathCase{"Huge", "99999999999999999999999", "PATH wants zero-based indices"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClickTest, EmptyMenuHasNoItemToClick) {
  const auto result = ferlo({"click", "0"});  // the host does not run
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("no item at 0: the menu has no items"), std::string::npos) << result.err;
}

TEST_F(ClickTest, PrettyHandoffIsIndented) {
  const auto result = click("0/3", {"--pretty"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "{\n  \"handoff\": {\n    \"url\": \"file:///a/H.app/\",\n    \"activates\": true\n  }\n}\n");
}

struct SendCase {
  const char* name;
  std::vector<std::string> options;  // after "send"; "@" stands for the home directory
  bool handoff;
  std::string request;  // "" for no request file; "@" the escaped home directory
};

class SendTest : public FerloTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, DeliversTheSelectorWithTheMadeUpSender) {
  writeStandardManifest();
  std::vector<std::string> all = {"send"};
  for (std::string option : GetParam().options) {
    if (const auto at = option.find('@'); at != std::string::npos) option.replace(at, 1, home());
    all.push_back(option);
  }
  const auto result = ferlo(all);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, GetParam().handoff ? kHandoff : kNoHandoff);
  std::string expected = GetParam().request;
  if (const auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, escaped(home()));
  EXPECT_EQ(readFile(requestFile()), expected.empty() ? "<missing>" : expected);
}

INSTANTIATE_TEST_SUITE_P(
    Senders, SendTest,
    ::testing::Values(
        SendCase{"RuleWithNumberObjectStops", {"runRule:", "--object-number", "5", "--target", "/t/"}, false, ""},
        SendCase{"RuleWithEmptyStringIsSent", {"runRule:", "--object-string", "", "--target", "/t/"}, true,
                 R"({"action":"runRule","folders":["\/t"],"ruleID":""})"},
        SendCase{"LastObjectOptionCounts",
                 {"runRule:", "--object-string", "s", "--object-number", "-9", "--target", "/t/"}, false, ""},
        // A tag this process never made (the one `menu --process-id 1` shows), as after a restart.
        SendCase{"RuleTagFromAnotherProcessStops",
                 {"runRule:", "--tag", "2147483648", "--title", "Tidy", "--process-id", "1", "--target", "/t/"},
                 false, ""},
        SendCase{"MergeOfOneFolderStops", {"runMergeSelected:", "--select", "/a/"}, false, ""},
        SendCase{"ExpiryLastTagCounts", {"setExpiry:", "--tag", "30", "--tag=1", "--select", "@/in/f"}, true,
                 R"({"action":"expireFiles","folders":[],"files":["@\/in\/f"],"days":1})"},
        SendCase{"ExpiryOutsideRootsStops", {"setExpiry:", "--tag", "7", "--select", "/elsewhere/f"}, false, ""},
        SendCase{"UrlSchemeAndHostInAnyCase", {"runFlatten:", "--select", "FILE://LOCALHOST/t/"}, true,
                 R"({"action":"flattenFolder","folders":["\/t"]})"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SendUsageCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};

class SendUsageTest : public FerloTest, public ::testing::WithParamInterface<SendUsageCase> {};

TEST_P(SendUsageTest, IsRefusedBeforeAnythingRuns) {
  const auto result = ferlo(GetParam().args);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, SendUsageTest,
    ::testing::Values(
        SendUsageCase{"MissingSelector", {"send"}, "missing SELECTOR"},
        SendUsageCase{"SelectorWithoutColon", {"send", "runRule"}, "SELECTOR must be runRule:"},
        SendUsageCase{"TwoSelectors", {"send", "runRule:", "runFlatten:"}, "unexpected argument \"runFlatten:\""},
        SendUsageCase{"NumberTooLarge", {"send", "runRule:", "--object-number", "9223372036854775808"},
                      "--object-number wants"},
        SendUsageCase{"TagNotANumber", {"send", "setExpiry:", "--tag", "x"}, "--tag wants a 64-bit integer"},
        SendUsageCase{"TagEmpty", {"send", "setExpiry:", "--tag="}, "--tag wants a 64-bit integer"}),
    [](const auto& info) { return std::string(info.param.name); });

// The default bundle URL is the .appex folder the program runs from.
TEST_F(FerloTest, HandoffFindsTheHostAboveTheAppexTheProgramLiesIn) {
  const std::string appex = dir / "Host Folder/Ferlo.app/Contents/PlugIns/Ext.appex";
  const std::string copy = appex + "/Contents/MacOS/ferlo";
  makeDirectories(appex + "/Contents/MacOS");
  std::filesystem::copy_file(FERLO_PROGRAM, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  const auto result = runProcess(copy, {"send", "runFlatten:", "--target", "/t/", "--group-containers", containers()},
                                 {{"PATH", "/usr/bin:/bin"}, {"HOME", home()}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "{\"handoff\":{\"url\":\"file://" + (dir / "Host%20Folder/Ferlo.app/") +
                            "\",\"activates\":true}}\n");
}

TEST_F(FerloTest, HandoffWithoutAppexUsesTheDocumentedBundle) {
  const auto result =
      ferlo({"send", "runFlatten:", "--target", "/t/", "--group-containers", containers()}, /*withScenario=*/false);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "{\"handoff\":{\"url\":\"file:///Applications/Ferlo.app/\",\"activates\":true}}\n");
}

}  // namespace
}  // namespace ferlo::testing
