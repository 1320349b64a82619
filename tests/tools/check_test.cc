// ferlo check: "FILE: SUMMARY" on stdout for a valid file, "FILE: WHERE: WHY"
// on stderr for an invalid one (exit 1), and "cannot read" (exit 2) for a
// file that cannot be read, byte for byte; "-" is standard input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

const std::string kRule = R"({"id":")" + std::string(kRuleId) + R"(","name":"a"})";

// "FILE: SUMMARY" on stdout with exit 0, or "FILE: WHERE: WHY" on stderr
// with exit 1.
TEST_F(FerloTest, CheckPrintsOneExactLine) {
  const struct {
    std::string kind, content, line;
    int exitCode = 0;
  } cases[] = {
      {"manifest", R"({"rules":[)" + kRule + "," + kRule + R"(],"watchedRoots":["/a","/b"]})",
          "valid rule manifest: 2 rules, 2 watched roots"},
      {"manifest", R"({"rules":[)" + kRule + R"(],"watchedRoots":null})",
          "valid rule manifest: 1 rule, watchedRoots absent"},
      {"manifest", R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":""}],"watchedRoots":["/"]})",
          "valid rule manifest: 1 rule, 1 watched root"},
      {"manifest", "", "(document): the document is empty or holds only white space", 1},
      {"request", R"({"action":"mergeFolders","folders":["\/a","\/b"]})",
          "valid tool request: mergeFolders, 2 folders"},
      {"request", R"({"action":"runRule","folders":["\/a"],"ruleID":")" + std::string(kRuleId) + "\"}",
          "valid tool request: runRule, 1 folder, ruleID \"" + std::string(kRuleId) + "\""},
      {"request", R"({"action":"expireFiles","folders":[],"files":["\/a"],"days":7})",
          "valid tool request: expireFiles, 0 folders, 1 file, days 7"},
      {"request", R"({"action":"expireFiles","folders":[],"files":["\/a","\/b"],"days":null,"ruleID":null})",
          "valid tool request: expireFiles, 0 folders, 2 files"},
      {"request", R"({"action":"expireFiles","folders":[],"days":1.5})",
          "days: expected an integer within the 64-bit signed range, got a number with a fraction or an "
          "exponent (1.5)", 1},
  };
  for (const auto& c : cases) {
    writeFile(dir / "f.json", c.content);
    // Run in the test's directory, so that FILE is printed as given: relative.
    const std::string line = "f.json: " + c.line + "\n";
    EXPECT_EQ(ferlo({"check", c.kind, "f.json"}, false, {}, dir.path()),
              (ProcessResult{c.exitCode, c.exitCode == 0 ? line : "", c.exitCode == 0 ? "" : line}));
  }
}

// "-" is standard input, be it a pipe or a file. Files that cannot be read
// exit 2; a FIFO, /dev/stdin on a pipe included, is refused at once rather
// than waited on, with a pointer to "-".
TEST_F(FerloTest, CheckReadsStandardInputAndRefusesWhatItCannotRead) {
  writeFile(dir / "request.json", R"({"action":"flattenFolder","folders":["\/a"]})");
  std::filesystem::create_directories(dir / "folder.json");
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  const std::string fifo = "is a FIFO, not a regular file (give - as FILE to read standard input)\n";
  const struct {
    std::string kind, file;
    ProcessIo io;
    ProcessResult result;
  } cases[] = {
      {"manifest", "-", {.input = R"({"rules":[],"watchedRoots":["/a"]})"},
       {0, "-: valid rule manifest: 0 rules, 1 watched root\n", ""}},
      {"manifest", "-", {.input = "[]"}, {1, "", "-: (document): the top level must be an object, got an array\n"}},
      {"request", "-", {.stdinPath = dir / "request.json"}, {0, "-: valid tool request: flattenFolder, 1 folder\n", ""}},
      {"request", "/dev/stdin", {.input = "{}"}, {2, "", "ferlo check: cannot read /dev/stdin: " + fifo}},
      {"manifest", "fifo.json", {}, {2, "", "ferlo check: cannot read fifo.json: " + fifo}},
      {"manifest", "missing.json", {}, {2, "", "ferlo check: cannot read missing.json: No such file or directory\n"}},
      {"manifest", "folder.json", {}, {2, "", "ferlo check: cannot read folder.json: is a directory\n"}},
      // Endless input ends at the limit; running out of memory before it is no finding (no limit on the
      // address space under the sanitizers, whose shadow memory it breaks).
      {"manifest", "-", {.stdinPath = "/dev/zero"}, {2, "", "ferlo check: cannot read -: is larger than 268435456 bytes\n"}},
      {"request", "-", {.stdinPath = "/dev/zero", .limits = kSanitized ? "" : "-v 300000"},
       {2, "", std::string("ferlo check: cannot read -: ") +
                   (kSanitized ? "is larger than 268435456 bytes\n" : "is too large to read into memory\n")}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ferlo({"check", c.kind, c.file}, false, {}, dir.path(), c.io), c.result) << c.file;
  }
}

}  // namespace
}  // namespace ferlo::testing
