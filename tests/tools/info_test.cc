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
        DirectoryCase{"UserHomeWithSlashKeptOnce", {"--user-home", "/u/x/"}, {}, R"(["file:///u/x/"])"},
        DirectoryCase{"UserHomeIsPercentEncoded", {"--user-home", "/with space/é"}, {},
                      R"(["file:///with%20space/%C3%A9/"])"},
        DirectoryCase{"NoUserEntryTakesPlatformHome", {"--no-user-entry", "--platform-home", "/p"}, {},
                      R"(["file:///p/"])"},
        DirectoryCase{"NoUserEntryAfterUserHomeWins",
                      {"--user-home", "/u", "--no-user-entry", "--platform-home", "/p"}, {}, R"(["file:///p/"])"},
        DirectoryCase{"UserHomeAfterNoUserEntryWins", {"--no-user-entry", "--user-home", "/u"}, {},
                      R"(["file:///u/"])"},
        DirectoryCase{"PlatformHomeDefaultsToHOME", {"--no-user-entry"}, {{"HOME", "/env/home"}},
                      R"(["file:///env/home/"])"},
        DirectoryCase{"LastPlatformHomeCounts", {"--no-user-entry", "--platform-home=/p1", "--platform-home", "/p2"},
                      {}, R"(["file:///p2/"])"}),
    [](const auto& info) { return std::string(info.param.name); });

struct GroupCase {
  const char* name;
  std::vector<std::string> info;  // --info values
  std::string expected;           // appGroupIdentifier as JSON text; empty for the default
};

class InfoGroupTest : public FerloTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(InfoGroupTest, AppGroupComesFromTheInfoPlistTextElseTheDefault) {
  std::vector<std::string> all = {"info"};
  for (const std::string& value : GetParam().info) {
    all.push_back("--info");
    all.push_back(value);
  }
  const auto result = ferlo(all);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string expected = GetParam().expected.empty() ? "\"" + group() + "\"" : GetParam().expected;
  EXPECT_NE(result.out.find(R"("appGroupIdentifier":)" + expected + ","), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Groups, InfoGroupTest,
    ::testing::Values(GroupCase{"NoKey", {}, ""}, GroupCase{"Text", {R"(TarvelinAppGroup="group.x")"}, R"("group.x")"},
                      GroupCase{"Number", {"TarvelinAppGroup=5"}, ""},
                      GroupCase{"EmptyText", {R"(TarvelinAppGroup="")"}, ""},
                      GroupCase{"Boolean", {"TarvelinAppGroup=true"}, ""},
                      GroupCase{"List", {R"(TarvelinAppGroup=["group.x"])"}, ""},
                      GroupCase{"Dictionary", {R"(TarvelinAppGroup={"a":"group.x"})"}, ""},
                      GroupCase{"BlanksKept", {R"(TarvelinAppGroup=" g ")"}, R"(" g ")"},
                      GroupCase{"OtherKeyIgnored", {R"(OtherKey="group.x")"}, ""},
                      GroupCase{"LastOfSameKeyCounts", {R"(TarvelinAppGroup="a")", R"(TarvelinAppGroup="b")"}, R"("b")"},
                      GroupCase{"EscapesSurviveTheRoundTrip", {R"(TarvelinAppGroup="g\u0000\u001f\"\\/é\t")"},
                                R"("g\u0000\u001f\"\\/é\t")"}),
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
        HostCase{"Default", {}, "\"" + std::string(defaultHostBundleIdentifier()) + "\""},
        HostCase{"ThreeComponents", {"--bundle-id", "a.b.c"}, R"("a.b")"},
        HostCase{"EmptyComponentsDropped", {"--bundle-id", "a..b."}, R"("a")"},
        HostCase{"SingleComponent", {"--bundle-id", "abc"}, R"("")"},
        HostCase{"EmptyIdentifier", {"--bundle-id="}, R"("")"},
        HostCase{"NoIdentifierTakesDefault", {"--no-bundle-id"}, "\"" + std::string(defaultHostBundleIdentifier()) + "\""},
        HostCase{"LastOfBundleIdOptionsCounts", {"--no-bundle-id", "--bundle-id", "x.y.z"}, R"("x.y")"},
        // Output stays valid UTF-8 and control characters are escaped.
        HostCase{"ControlCharactersEscaped", {"--bundle-id", "a\x01\x7f.b.c"}, R"("a\u0001\u007f.b")"},
        HostCase{"InvalidBytesReplaced", {"--bundle-id", "\xff\xfe.x.y"}, "\"\xEF\xBF\xBD\xEF\xBF\xBD.x\""},
        HostCase{"TruncatedSequenceReplacedOnce", {"--bundle-id", "\xE2\x82.a.b"}, "\"\xEF\xBF\xBD.a\""},
        HostCase{"SurrogateReplacedPerByte", {"--bundle-id", "\xED\xA0\x80.a.b"},
                 "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.a\""},
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

TEST_F(FerloTest, InfoRelativeDirectoriesResolveAgainstTheWorkingDirectory) {
  makeDirectories(container());
  const auto result = ferlo({"info", "--group-containers", "gc", "--user-home", "home"}, /*withScenario=*/false, {},
                            dir.path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("directoryURLs":["file://)" + home() + "/\"]"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(R"("containerURL":"file://)" + container() + "/\"}"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace ferlo::testing
