// ferlo click and ferlo send: the request file's exact bytes and the hand-off
// JSON, the sender each builds from its options, and click's bad paths.
#include <gtest/gtest.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

constexpr const char* kHandoff = "{\"handoff\":{\"url\":\"file:///a/H.app/\",\"activates\":true}}\n";
const std::string kRuleRequest = R"({"action":"runRule","folders":["@\/A"],"ruleID":")" + std::string(kRuleId) + "\"}";
const std::string kFiles = R"({"action":"expireFiles","folders":[],"files":["@\/in\/x.txt","@\/in\/Café.txt"])";

class ClickTest : public FerloTest {
 protected:
  ProcessResult click(const std::string& path, std::vector<std::string> extra = {}) const {
    std::vector<std::string> all = {"click", path, "--host-running", "--select", home() + "/A/", "--select",
                                    home() + "/B/", "--select", home() + "/in/x.txt", "--select", home() + "/in/Café.txt"};
    all.insert(all.end(), extra.begin(), extra.end());
    return ferlo(all);
  }
  // `json` with "@" as the home directory, every "/" written "\/".
  std::string request(const std::string& json) const { return replaceAll(json, "@", replaceAll(home(), "/", "\\/")); }
};

TEST_F(ClickTest, WritesTheRequestAndHandsOff) {
  const struct {
    std::string path, request;
    std::vector<std::string> extra = {};
  } cases[] = {
      // The Finder's copy of the rule item has no represented object: its tag finds the rule.
      {"0/1", kRuleRequest},
      {"0/1", kRuleRequest, {"--original-sender", "--process-id", "1"}},
      {"0/4", R"({"action":"mergeFolders","folders":["@\/A","@\/B"]})"},
      {"0/5/1", kFiles + R"(,"days":7})"},
      {"0/5/4", kFiles + "}"},  // keep: no days
  };
  for (const auto& c : cases) {
    const auto result = click(c.path, c.extra);
    EXPECT_EQ(result.exitCode, 0) << c.path << result.err;
    EXPECT_EQ(result.out, kHandoff);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(requestFile()), request(c.request)) << c.path;
  }
  EXPECT_EQ(click("0/3", {"--pretty"}).out,
            "{\n  \"handoff\": {\n    \"url\": \"file:///a/H.app/\",\n    \"activates\": true\n  }\n}\n");
}

TEST_F(ClickTest, PathWithoutAnActionIsAUsageErrorThatDoesNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"0", "item 0 (Ferlo) has no action"},
      {"0/5/3", "item 0/5/3 is a separator"},
      {"0/6", "no item at 0/6: the submenu of 0 has 6 items"},
      {"x", "PATH wants zero-based indices"},
      {"99999999999999999999999", "PATH wants zero-based indices"},
  };
  for (const auto& [path, message] : cases) {
    const auto result = click(path);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_TRUE(result.err.ends_with("\nTry 'ferlo click --help'.\n")) << result.err;
  }
  const auto empty = ferlo({"click", "0"});  // the host does not run
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_NE(empty.err.find("no item at 0: the menu has no items"), std::string::npos) << empty.err;
  EXPECT_FALSE(pathExists(requestFile()));
}

// send builds the sender from its options alone; "@" is the home directory.
TEST_F(ClickTest, SendDeliversTheSelectorWithTheMadeUpSender) {
  const struct {
    std::vector<std::string> options;
    std::string request;  // "" for none, and then no hand-off
  } cases[] = {
      {{"runRule:", "--object-number", "5", "--target", "/t/"}, ""},
      {{"runRule:", "--object-string", "", "--target", "/t/"}, R"({"action":"runRule","folders":["\/t"],"ruleID":""})"},
      {{"runRule:", "--object-string", "s", "--object-number", "-9", "--target", "/t/"}, ""},  // the last one counts
      // A tag this process never made (the one `menu --process-id 1` shows), as after a restart.
      {{"runRule:", "--tag", "2147483648", "--title", "Tidy", "--process-id", "1", "--target", "/t/"}, ""},
      {{"setExpiry:", "--tag", "30", "--tag=1", "--select", "@/in/f"},
       R"({"action":"expireFiles","folders":[],"files":["@\/in\/f"],"days":1})"},
      {{"runFlatten:", "--select", "FILE://LOCALHOST/t/"}, R"({"action":"flattenFolder","folders":["\/t"]})"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(requestFile());
    std::vector<std::string> args = {"send"};
    for (const std::string& option : c.options) args.push_back(replaceAll(option, "@", home()));
    const auto result = ferlo(args);
    EXPECT_EQ(result.exitCode, 0) << c.options[0] << result.err;
    EXPECT_EQ(result.out, c.request.empty() ? "{\"handoff\":null}\n" : kHandoff) << c.options[0];
    EXPECT_EQ(readFile(requestFile()), c.request.empty() ? "<missing>" : request(c.request)) << c.options[0];
  }
}

// The bundle URL defaults to the .appex folder the program runs from; outside
// one, to the documented bundle.
TEST_F(FerloTest, HandoffFindsTheHostAboveTheAppexTheProgramLiesIn) {
  const std::string appex = dir / "Host Folder/Ferlo.app/Contents/PlugIns/Ext.appex/Contents/MacOS";
  std::filesystem::create_directories(appex);
  std::filesystem::copy_file(FERLO_PROGRAM, appex + "/ferlo");
  const std::vector<std::string> args = {"send", "runFlatten:", "--target", "/t/", "--group-containers", containers()};
  const std::map<std::string, std::string> env = {{"PATH", "/usr/bin:/bin"}, {"HOME", home()}};
  EXPECT_EQ(runProcess(appex + "/ferlo", args, env).out,
            "{\"handoff\":{\"url\":\"file://" + (dir / "Host%20Folder/Ferlo.app/") + "\",\"activates\":true}}\n");
  EXPECT_EQ(runProcess(FERLO_PROGRAM, args, env).out,
            "{\"handoff\":{\"url\":\"file:///Applications/Ferlo.app/\",\"activates\":true}}\n");
}

}  // namespace
}  // namespace ferlo::testing
