// ferlo info: the principal object's registration and the identity values as
// one JSON document, and the options and environment that decide them.
#include <gtest/gtest.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

TEST_F(FerloTest, InfoPrintsTheWholeDocument) {
  std::filesystem::create_directories(container());
  const auto result = ferlo({"info"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, R"({"toolbarItemName":"Ferlo","toolbarItemToolTip":"Ferlo","directoryURLs":["file://)" + home() +
                            R"(/"],"appGroupIdentifier":")" + kGroup + R"(","hostBundleIdentifier":")" + kHost +
                            R"(","containerURL":"file://)" + container() + "/\"}\n");
  // Relative directories resolve against the working directory, cleanly.
  EXPECT_EQ(ferlo({"info", "--group-containers", "./gc/.", "--user-home", "home//"}, false, {}, dir.path()).out,
            result.out);
}

struct InfoCase {
  const char* name;
  std::vector<std::string> options;  // "@" stands for the test directory
  std::map<std::string, std::string> env;
  std::string member;  // expected in the document
};

class InfoOptionTest : public FerloTest, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(InfoOptionTest, DecidesOneMember) {
  std::filesystem::create_directories(dir / "env-root/" + kGroup);
  std::vector<std::string> all = {"info"};
  for (const std::string& option : GetParam().options) all.push_back(replaceAll(option, "@", dir.path()));
  std::map<std::string, std::string> env;
  for (const auto& [key, value] : GetParam().env) env[key] = replaceAll(value, "@", dir.path());
  const auto result = ferlo(all, /*withScenario=*/false, env);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(replaceAll(GetParam().member, "@", dir.path())), std::string::npos) << result.out;
  EXPECT_FALSE(pathExists(dir / "gc/group.x")) << "info must never create the container";
}

const std::string kNoGroup = R"(TarvelinAppGroup="group.x")";
INSTANTIATE_TEST_SUITE_P(
    Options, InfoOptionTest,
    ::testing::Values(
        InfoCase{"UserHomeGainsFolderMark", {"--user-home", "/u/x"}, {}, R"("directoryURLs":["file:///u/x/"],)"},
        InfoCase{"NoUserEntryTakesPlatformHome", {"--no-user-entry", "--platform-home", "/p"}, {},
                 R"("directoryURLs":["file:///p/"],)"},
        InfoCase{"PlatformHomeDefaultsToHOME", {"--no-user-entry"}, {{"HOME", "/env/home"}},
                 R"("directoryURLs":["file:///env/home/"],)"},
        InfoCase{"LastPlatformHomeCounts", {"--no-user-entry", "--platform-home=/p1", "--platform-home", "/p2"}, {},
                 R"("directoryURLs":["file:///p2/"],)"},
        InfoCase{"HostIsBundleIdLessItsLastComponent", {"--bundle-id", "a.b.c"}, {}, R"("hostBundleIdentifier":"a.b",)"},
        InfoCase{"NoBundleIdTakesTheDefaultHost", {"--no-bundle-id"}, {}, "\"hostBundleIdentifier\":\"" + kHost + "\","},
        // Output stays valid UTF-8 and control characters are escaped.
        InfoCase{"ControlCharactersEscaped", {"--bundle-id", "a\x01\x1f\x7f.b.c"}, {},
                 R"("hostBundleIdentifier":"a\u0001\u001f\u007f.b",)"},
        InfoCase{"InvalidBytesReplaced", {"--bundle-id", "\xff\xfe.x.y"}, {},
                 "\"hostBundleIdentifier\":\"\xEF\xBF\xBD\xEF\xBF\xBD.x\","},
        InfoCase{"ValidMultibyteKept", {"--bundle-id", "\xF0\x9F\x98\x80\xC3\xA9.a.b"}, {},
                 "\"hostBundleIdentifier\":\"\xF0\x9F\x98\x80\xC3\xA9.a\","},
        InfoCase{"ContainerNullUntilItExists", {"--group-containers", "@/gc", "--info", kNoGroup}, {},
                 R"("containerURL":null})"},
        InfoCase{"ContainerOnceItExists", {"--group-containers", "@", "--info", R"(TarvelinAppGroup="gc")"}, {},
                 R"("containerURL":"file://@/gc/"})"},
        InfoCase{"ContainersRootFromTheEnvironment", {}, {{"FERLO_GROUP_CONTAINERS", "@/env-root"}},
                 R"("containerURL":"file://@/env-root/)" + kGroup + "/\"}"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ferlo::testing
