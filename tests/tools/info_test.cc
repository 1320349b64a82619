// ferlo info: the principal object's registration and the identity values as
// one JSON document, and the options and environment that decide them.
#include <gtest/gtest.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

TEST_F(FerloTest, InfoPrintsTheWholeDocument) {
  std::filesystem::create_directories(container());
  const auto result = ferlo({"info"});
  EXPECT_EQ(result, (ProcessResult{0, R"({"toolbarItemName":"Ferlo","toolbarItemToolTip":"Ferlo","directoryURLs":["file://)" +
                                          home() + R"(/"],"appGroupIdentifier":")" + kGroup + R"(","hostBundleIdentifier":")" +
                                          kHost + R"(","containerURL":"file://)" + container() + "/\"}\n", ""}));
  // Relative directories resolve against the working directory, cleanly.
  EXPECT_EQ(ferlo({"info", "--group-containers", "./gc/.", "--user-home", "home//"}, false, {}, dir.path()).out,
            result.out);
}

// Each option or variable decides one member; "@" stands for the test directory.
TEST_F(FerloTest, InfoOptionsDecideOneMemberEach) {
  std::filesystem::create_directories(dir / "env-root/" + kGroup);
  const struct {
    std::vector<std::string> options;
    std::map<std::string, std::string> env;
    std::string member;  // expected in the document
  } cases[] = {
      {{"--user-home", "/u/x"}, {}, R"("directoryURLs":["file:///u/x/"],)"},
      {{"--no-user-entry", "--platform-home", "/p"}, {}, R"("directoryURLs":["file:///p/"],)"},
      {{"--no-user-entry"}, {{"HOME", "/env/home"}}, R"("directoryURLs":["file:///env/home/"],)"},
      {{"--no-user-entry", "--platform-home=/p1", "--platform-home", "/p2"}, {}, R"("directoryURLs":["file:///p2/"],)"},
      {{"--bundle-id", "a.b.c"}, {}, R"("hostBundleIdentifier":"a.b",)"},
      {{"--no-bundle-id"}, {}, "\"hostBundleIdentifier\":\"" + kHost + "\","},
      // Output stays valid UTF-8 and control characters are escaped.
      {{"--bundle-id", "a\x01\x1f\x7f\xff\xfe\xF0\x9F\x98\x80\xC3\xA9.b.c"}, {},
       "\"hostBundleIdentifier\":\"a\\u0001\\u001f\\u007f\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80\xC3\xA9.b\","},
      {{"--group-containers", "@/gc", "--info", R"(TarvelinAppGroup="group.x")"}, {}, R"("containerURL":null})"},
      {{"--group-containers", "@", "--info", R"(TarvelinAppGroup="gc")"}, {}, R"("containerURL":"file://@/gc/"})"},
      {{}, {{"FERLO_GROUP_CONTAINERS", dir / "env-root"}}, R"("containerURL":"file://@/env-root/)" + kGroup + "/\"}"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"info"};
    for (const std::string& option : c.options) args.push_back(replaceAll(option, "@", dir.path()));
    const auto result = ferlo(args, /*withScenario=*/false, c.env);
    EXPECT_TRUE(has(result.out, replaceAll(c.member, "@", dir.path()))) << ::testing::PrintToString(result);
  }
  EXPECT_FALSE(pathExists(dir / "gc/group.x")) << "info must never create the container";
}

}  // namespace
}  // namespace ferlo::testing
