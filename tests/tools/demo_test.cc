// ferlo demo: runs with nothing but the built program, walks the four
// commands, and cleans up after itself unless asked to keep its directory.
#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>

#include <filesystem>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

// The directory named on the demo's "Temporary directory " line.
std::string demoDirectory(const std::string& out) {
  const std::string marker = "Temporary directory ";
  const auto at = out.find(marker);
  if (at == std::string::npos) return "";
  const auto end = out.find('\n', at);
  return out.substr(at + marker.size(), end - at - marker.size());
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(FerloTest, DemoWalksTheFourCommandsAndRemovesItsHome) {
  // A bare environment: no locale, no containers root, TMPDIR pointing here.
  const auto result = runProcess(FERLO_PROGRAM, {"demo"}, {{"TMPDIR", dir.path()}});
  ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
  EXPECT_EQ(result.err, "");
  const std::string demoDir = demoDirectory(result.out);
  ASSERT_EQ(demoDir.rfind(dir / "ferlo-demo-", 0), 0u) << result.out;
  EXPECT_FALSE(pathExists(demoDir));
  EXPECT_NE(result.out.find("Removed " + demoDir), std::string::npos);

  EXPECT_EQ(count(result.out, "tool-request.json ("), 4u) << result.out;
  EXPECT_EQ(count(result.out, "Hand-off: open file://" + demoDir + "/Applications/Ferlo.app/"), 4u) << result.out;
  const std::string home = demoDir;
  std::string escapedHome;
  for (const char c : home) escapedHome += c == '/' ? std::string("\\/") : std::string(1, c);
  for (const std::string& request :
       {R"({"action":"runRule","folders":[")" + escapedHome + R"(\/home\/Old photos"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})",
        R"({"action":"flattenFolder","folders":[")" + escapedHome + R"(\/home\/Old photos"]})",
        R"({"action":"mergeFolders","folders":[")" + escapedHome + R"(\/home\/Old photos",")" + escapedHome +
            R"(\/home\/New photos"]})",
        R"({"action":"expireFiles","folders":[],"files":[")" + escapedHome + R"(\/home\/Downloads\/invoice.pdf",")" +
            escapedHome + R"(\/home\/Downloads\/Café menu.png"],"days":7})"}) {
    EXPECT_NE(result.out.find("     " + request + "\n"), std::string::npos) << request << "\n" << result.out;
  }
}

TEST_F(FerloTest, DemoKeepLeavesItsHomeWithTheLastRequest) {
  const auto result = runProcess(FERLO_PROGRAM, {"demo", "--keep"}, {{"TMPDIR", dir.path()}});
  ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
  const std::string demoDir = demoDirectory(result.out);
  ASSERT_FALSE(demoDir.empty()) << result.out;
  EXPECT_NE(result.out.find("Kept " + demoDir), std::string::npos);
  const std::string container = demoDir + "/group-containers/" + group();
  EXPECT_NE(readFile(container + "/rules.json").find("\"watchedRoots\""), std::string::npos);
  const std::string last = readFile(container + "/tool-request.json");
  EXPECT_EQ(last.rfind(R"({"action":"expireFiles")", 0), 0u) << last;
  EXPECT_TRUE(last.ends_with(R"("days":7})")) << last;
  EXPECT_TRUE(pathExists(demoDir + "/home/Downloads/Café menu.png"));

  // The commands it prints reproduce the menu on what it kept.
  const auto command = result.out.find("  ferlo menu --tree ");
  ASSERT_NE(command, std::string::npos) << result.out;
  const std::string line = result.out.substr(command + 8, result.out.find('\n', command) - command - 8);
  const auto shell = runProcess("/bin/sh", {"-c", std::string(FERLO_PROGRAM) + " " + line},
                                {{"PATH", "/usr/bin:/bin"}, {"TMPDIR", dir.path()}});
  ASSERT_EQ(shell.exitCode, 0) << shell.err;
  EXPECT_NE(shell.out.find("0/6/1"), std::string::npos) << shell.out;
}

// Interrupted midway, the demo still removes its home. Texts of 20,000
// characters make its output far larger than a pipe holds, so with nobody
// reading it the demo is certain to be stuck in the middle when the signal
// comes.
class DemoSignalTest : public FerloTest, public ::testing::WithParamInterface<int> {};

TEST_P(DemoSignalTest, RemovesItsHome) {
  std::string strings;
  for (const char* key : {"finder.section.rules", "finder.section.actions", "finder.action.flatten",
                          "finder.expiry.title", "finder.expiry.keep"}) {
    strings += "\"" + std::string(key) + "\" = \"" + std::string(20000, 'x') + "\";\n";
  }
  writeFile(dir / "long/en.lproj/Localizable.strings", strings);
  makeDirectories(dir / "tmp");
  const StartedProcess demo = startProcess(FERLO_PROGRAM, {"demo", "--resources", dir / "long", "--locale", "en_US"},
                                           {{"TMPDIR", dir / "tmp"}});
  pollfd out{demo.out, POLLIN, 0};
  ASSERT_EQ(::poll(&out, 1, 20000), 1) << "the demo printed nothing";
  ASSERT_EQ(::kill(demo.pid, GetParam()), 0);
  const auto result = finishProcess(demo);
  EXPECT_EQ(result.exitCode, 128 + GetParam()) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << std::filesystem::directory_iterator(dir / "tmp")->path();
}

INSTANTIATE_TEST_SUITE_P(Signals, DemoSignalTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(info.param == SIGINT ? "Interrupt" : "Terminate"); });

}  // namespace
}  // namespace ferlo::testing
