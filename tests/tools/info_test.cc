// ferlo info: the principal object's registration and the identity values,
// as the program reports them.
#include <gtest/gtest.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

TEST_F(FerloTest, InfoPrintsTheWholeDocument) {
  makeDirectories(container());
  const auto result = ferlo({"info"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, R"({"toolbarItemName":"Ferlo","toolbarItemToolTip":"Ferlo","directoryURLs":["file://)" + home() +
                            R"(/"],"appGroupIdentifier":")" + group() + R"(","hostBundleIdentifier":")" +
                            std::string(defaultHostBundleIdentifier()) + R"(","containerURL":"file://)" +
                            container() + "/\"}\n");
}

struct DirectoryCase {
  const char* name;
  std::vector<std::string> options;
  std::map<std::string, std::string> env;
  std::string expected;  // the directoryURLs member
};

class InfoDirectoryTest : public FerloTest, public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(InfoDirectoryTest, RegistersTheHomeOfTheUserEntryElseThePlatformHome) {
  std::vector<std::string> all = {"info", "--group-containers", containers()};
  all.insert(all.end(), GetParam().options.begin(), GetParam().options.end());
  const auto result = ferlo(all, /*withScenario=*/false, GetParam().env);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("directoryURLs":)" + GetParam().expected + ","), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Homes, InfoDirectoryTest,
    ::testing::Values(
        DirectoryCase{"UserHomeGainsFolderMark", {"--user-home", "/u/x"}, {}, R"(["file:///u/x/"])"},
        DirectoryCase{"NoUserEntryTakesPlatformHome", {"--no-user-entry", "--platform-home", "/p"}, {},
                      R"(["file:///p/"])"},
        DirectoryCase{"PlatformHomeDefaultsToHOME", {"--no-user-entry"}, {{"HOME", "/env/home"}},
                      R"(["file:///env/home/"])"},
        DirectoryCase{"LastPlatformHomeCounts", {"--no-user-entry", "--platform-home=/p1", "--platform-home", "/p2"},
                      {}, R"(["file:///p2/"])"}),
    [](const auto& info) { return std::string(info.param.name); });

struct HostCase {
  const char* name;
  std::vector<std::string> options;
  std::string expected;  // hostBundleIdentifier as JSON text
};

class InfoHostTest : public FerloTest, public ::testing::WithParamInterface<HostCase> {};

TEST_P(InfoHostTest, HostIdentifierIsTheBundleIdentifierLessItsLastComponent) {
  std::vector<std::string> all = {"info"};
  all.insert(all.end(), GetParam().options.begin(), GetParam().options.end());
  const auto result = ferlo(all);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("hostBundleIdentifier":)" + GetParam().expected + ","), std::string::npos)
      << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, InfoHostTest,
    ::testing::Values(
        HostCase{"ThreeComponents", {"--bundle-id", "a.b.c"}, R"("a.b")"},
        HostCase{"NoIdentifierTakesDefault", {"--no-bundle-id"}, "\"" + std::string(defaultHostBundleIdentifier()) + "\""},
        // Output stays valid UTF-8 and control characters are escaped.
        HostCase{"ControlCharactersEscaped", {"--bundle-id", "a\x01\x7f.b.c"}, R"("a\u0001\u007f.b")"},
        HostCase{"InvalidBytesReplaced", {"--bundle-id", "\xff\xfe.x.y"}, "\"\xEF\xBF\xBD\xEF\xBF\xBD.x\""},
        HostCase{"ValidMultibyteKept", {"--bundle-id", "\xF0\x9F\x98\x80\xC3\xA9.a.b"},
                 "\"\xF0\x9F\x98\x80\xC3\xA9.a\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FerloTest, InfoContainerIsNullUntilTheGroupDirectoryExists) {
  const auto before = ferlo({"info", "--info", R"(TarvelinAppGroup="group.x")"});
  ASSERT_EQ(before.exitCode, 0) << before.err;
  EXPECT_NE(before.out.find(R"("containerURL":null})"), std::string::npos) << before.out;
  EXPECT_FALSE(pathExists(containers() + "/group.x")) << "info must never create the container";

  makeDirectories(containers() + "/group.x");
  const auto after = ferlo({"info", "--info", R"(TarvelinAppGroup="group.x")"});
  ASSERT_EQ(after.exitCode, 0) << after.err;
  EXPECT_NE(after.out.find(R"("containerURL":"file://)" + containers() + "/group.x/\"}"), std::string::npos)
      << after.out;
}

TEST_F(FerloTest, InfoContainersRootDefaultsToTheEnvironment) {
  makeDirectories(dir / "env-root/" + group());
  const auto result = ferlo({"info"}, /*withScenario=*/false, {{"FERLO_GROUP_CONTAINERS", dir / "env-root"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("containerURL":"file://)" + (dir / "env-root/") + group() + "/\"}"),
            std::string::npos)
      << result.out;
}

TEST_F(FerloTest, InfoRelativeDirectoriesResolveAgainstTheWorkingDirectoryCleanly) {
  makeDirectories(container());
  const auto result = ferlo({"info", "--group-containers", "./gc/.", "--user-home", "home//"}, /*withScenario=*/false,
                            {}, dir.path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("directoryURLs":["file://)" + home() + "/\"]"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(R"("containerURL":"file://)" + container() + "/\"}"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace ferlo::testing
