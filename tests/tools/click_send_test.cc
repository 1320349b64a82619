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
      {"0/1", kRuleRequest, {"--process-id", "0"}},
      {"0/4", R"({"action":"mergeFolders","folders":["@\/A","@\/B"]})"},
      {"0/5/1", kFiles + R"(,"days":7})"},
      {"0/5/4", kFiles + "}"},  // keep: no days
  };
  for (const auto& c : cases) {
    EXPECT_EQ(click(c.path, c.extra), (ProcessResult{0, kHandoff, ""})) << c.path;
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
      {"x", "PATH wants zero-based indices joined by \"/\", e.g. 0/3; got \"x\""},
      {"99999999999999999999999",
       "PATH wants zero-based indices joined by \"/\", e.g. 0/3; got \"99999999999999999999999\""},
  };
  for (const auto& [path, message] : cases) {
    EXPECT_EQ(click(path), (ProcessResult{2, "", "ferlo click: " + message + "\nTry 'ferlo click --help'.\n"}));
  }
  EXPECT_EQ(ferlo({"click", "0"}),  // the host does not run
            (ProcessResult{2, "", "ferlo click: no item at 0: the menu has no items\nTry 'ferlo click --help'.\n"}));
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
      // A tag this process never made (the one `menu --process-id 131071` shows), as after a restart.
      {{"runRule:", "--tag", "2147475456", "--title", "Tidy", "--process-id", "131071", "--target", "/t/"}, ""},
      {{"setExpiry:", "--tag", "30", "--tag=1", "--select", "@/in/f"},
       R"({"action":"expireFiles","folders":[],"files":["@\/in\/f"],"days":1})"},
      {{"runFlatten:", "--select", "FILE://LOCALHOST/t/"}, R"({"action":"flattenFolder","folders":["\/t"]})"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(requestFile());
    std::vector<std::string> args = {"send"};
    for (const std::string& option : c.options) args.push_back(replaceAll(option, "@", home()));
    EXPECT_EQ(ferlo(args), (ProcessResult{0, c.request.empty() ? "{\"handoff\":null}\n" : kHandoff, ""}));
    EXPECT_EQ(readFile(requestFile()), c.request.empty() ? "<missing>" : request(c.request)) << c.options[0];
  }
}

// The extension hands off whether or not its request was written, and says
// nothing of it; ferlo says why on stderr and exits 1 (3 when stdout fails
// too), --on-open runs all the same, and the earlier request stays.
TEST_F(ClickTest, RequestNotWrittenIsSaidAndExitsOne) {
  const std::string notWritten = "the request was not written: " + requestFile() + ": ";
  const std::string target = "/" + std::string(600, 'x') + "/";  // a request over 512 bytes
  const struct {
    std::vector<std::string> args;
    ProcessIo io;
    bool directory;  // tool-request.json is a directory, else a file holding "old"
    ProcessResult result;
  } cases[] = {
      {{"click", "0/3", "--target", "/t/", "--host-running"}, {}, true,
       {1, kHandoff, "ferlo click: " + notWritten + "Is a directory\n"}},
      {{"send", "runFlatten:", "--target", target, "--on-open", "echo opened"}, {.limits = "-f 1"}, false,
       {1, kHandoff, "opened /a/H.app\nferlo send: " + notWritten + "File too large\n"}},
      {{"send", "runFlatten:", "--target", "/t/", "--group-containers", home()}, {}, false,
       {1, kHandoff, "ferlo send: the request was not written: no shared container for app group \"" + kGroup + "\"\n"}},
      {{"send", "runFlatten:", "--target", "/t/"}, {.stdoutPath = "/dev/full"}, true,
       {3, "", "ferlo send: " + notWritten + "Is a directory\nferlo: cannot write standard output: No space left on device\n"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(requestFile());
    c.directory ? (void)std::filesystem::create_directory(requestFile()) : writeFile(requestFile(), "old");
    EXPECT_EQ(ferlo(c.args, true, {}, "", c.io), c.result) << c.args[0];
    EXPECT_EQ(std::filesystem::is_directory(requestFile()) ? "<directory>" : readFile(requestFile()),
              c.directory ? "<directory>" : "old");
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
