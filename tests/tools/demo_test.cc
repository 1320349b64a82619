// ferlo demo: runs with nothing but the built program, walks the four
// commands, and removes its temporary home, also when stopped by a signal,
// unless asked to keep it.
#include <gtest/gtest.h>

#include <csignal>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

// The directory named on the demo's "Temporary directory " line.
std::string demoDirectory(const std::string& out) {
  const auto at = out.find("Temporary directory ");
  return at == std::string::npos ? "" : out.substr(at + 20, out.find('\n', at) - at - 20);
}

// A bare environment: no locale, no containers root, TMPDIR pointing here.
TEST_F(FerloTest, DemoWalksTheFourCommandsAndRemovesItsHomeUnlessKept) {
  const auto removed = runProcess(FERLO_PROGRAM, {"demo"}, {{"TMPDIR", dir.path()}});
  const std::string removedDir = demoDirectory(removed.out);
  EXPECT_TRUE(removed.exitCode == 0 && removed.err.empty() && removedDir.starts_with(dir / "ferlo-demo-") &&
              !pathExists(removedDir) && has(removed.out, "Removed " + removedDir)) << ::testing::PrintToString(removed);

  const auto result = runProcess(FERLO_PROGRAM, {"demo", "--keep"}, {{"TMPDIR", dir.path()}});
  const std::string demoDir = demoDirectory(result.out);
  ASSERT_TRUE(result.exitCode == 0 && has(result.out, "Kept " + demoDir)) << ::testing::PrintToString(result);
  const std::string home = replaceAll(demoDir, "/", "\\/") + "\\/home\\/";
  for (const std::string& request :
       {R"({"action":"runRule","folders":[")" + home + R"(Old photos"],"ruleID":")" + kRuleId + "\"}",
        R"({"action":"flattenFolder","folders":[")" + home + R"(Old photos"]})",
        R"({"action":"mergeFolders","folders":[")" + home + R"(Old photos",")" + home + R"(New photos"]})",
        R"({"action":"expireFiles","folders":[],"files":[")" + home + R"(Downloads\/invoice.pdf",")" + home +
            R"(Downloads\/Café menu.png"],"days":7})"}) {
    const auto at = result.out.find("     " + request + "\n");
    ASSERT_NE(at, std::string::npos) << request << "\n" << result.out;
    EXPECT_NE(result.out.find("Hand-off: open file://" + demoDir + "/Applications/Ferlo.app/", at), std::string::npos);
  }
  const std::string last = readFile(demoDir + "/group-containers/" + kGroup + "/tool-request.json");
  EXPECT_TRUE(last.starts_with(R"({"action":"expireFiles")") && last.ends_with(R"("days":7})")) << last;
  EXPECT_TRUE(pathExists(demoDir + "/home/Downloads/Café menu.png"));
  // The commands it prints reproduce the menu on what it kept.
  const auto command = result.out.find("  ferlo menu --tree ");
  ASSERT_NE(command, std::string::npos) << result.out;
  const std::string line = result.out.substr(command + 8, result.out.find('\n', command) - command - 8);
  const auto shell = runProcess("/bin/sh", {"-c", std::string(FERLO_PROGRAM) + " " + line},
                                {{"PATH", "/usr/bin:/bin"}, {"TMPDIR", dir.path()}});
  EXPECT_TRUE(shell.exitCode == 0 && has(shell.out, "0/6/1")) << ::testing::PrintToString(shell);
}

// Interrupted midway, the demo still removes its home. Texts of 20,000
// characters make its output far larger than a pipe holds, so with nobody
// reading it the demo is certain to be stuck in the middle when the signal
// comes.
TEST_F(FerloTest, DemoStoppedBySignalRemovesItsHome) {
  std::string strings;
  for (const char* key : {"finder.section.rules", "finder.section.actions", "finder.action.flatten",
                          "finder.expiry.title", "finder.expiry.keep"}) {
    strings += "\"" + std::string(key) + "\" = \"" + std::string(20000, 'x') + "\";\n";
  }
  writeFile(dir / "long/en.lproj/Localizable.strings", strings);
  for (const int signal : {SIGINT, SIGTERM}) {
    std::filesystem::create_directories(dir / "tmp");
    const auto stop = [&](pid_t pid, std::FILE* out) {
      EXPECT_NE(std::fgetc(out), EOF) << "the demo printed nothing";
      EXPECT_EQ(::kill(pid, signal), 0);
    };
    EXPECT_EQ(runProcess(FERLO_PROGRAM, {"demo", "--resources", dir / "long", "--locale", "en_US"},
                         {{"TMPDIR", dir / "tmp"}}, "", {}, stop).exitCode, 128 + signal);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << signal;
  }
}

}  // namespace
}  // namespace ferlo::testing
