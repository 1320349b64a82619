// ferlo menu: the exact JSON document, the tree, menu kinds and the
// scenario's effect on what is offered.
#include <gtest/gtest.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

constexpr const char* kEmptyMenu = "{\"title\":\"\",\"items\":[]}\n";

class MenuTest : public FerloTest {
 protected:
  void SetUp() override {
    FerloTest::SetUp();
    writeStandardManifest();
  }
  // Two folders and a file under the watched root.
  [[nodiscard]] std::vector<std::string> selection() const {
    return {"--select", home() + "/A/", "--select", home() + "/B/", "--select", home() + "/in/x.txt"};
  }
  ProcessResult menu(std::vector<std::string> extra) const {
    // Process 1: its first rule item's tag is 1 << 31.
    std::vector<std::string> all = {"menu", "--host-running", "--process-id", "1"};
    all.insert(all.end(), extra.begin(), extra.end());
    return ferlo(all);
  }
};

TEST_F(MenuTest, FullMenuDocumentIsByteExact) {
  const auto result = menu(selection());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string header = R"(,"enabled":false,"separator":false,"tag":0,"keyEquivalent":"","attributedTitle":)"
                             R"({"string":)";
  const std::string styled = R"(,"font":"systemFont:smallSystemFontSize:semibold","foregroundColor":"secondaryLabelColor"}})";
  const std::string action = R"(,"enabled":true,"separator":false,)";
  const std::string expected =
      std::string(R"({"title":"","items":[{"title":"Ferlo","enabled":true,"separator":false,"tag":0,"keyEquivalent":"",)") +
      R"("image":{"name":"BrandGlyph","width":11,"height":16,"template":false},"submenu":{"title":"Ferlo","items":[)" +
      R"({"title":"Rules")" + header + R"("RULES")" + styled + "," +
      R"({"title":"Tidy")" + action + R"("tag":2147483648,"keyEquivalent":"","action":"runRule:","target":"principal",)" +
      R"("representedObject":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"},)" +
      R"({"title":"Actions")" + header + R"("ACTIONS")" + styled + "," +
      R"({"title":"Flatten")" + action + R"("tag":0,"keyEquivalent":"","action":"runFlatten:","target":"principal"},)" +
      R"({"title":"Merge 2")" + action + R"("tag":0,"keyEquivalent":"","action":"runMergeSelected:","target":"principal"},)" +
      R"({"title":"Expire one","enabled":true,"separator":false,"tag":0,"keyEquivalent":"","submenu":{"title":"","items":[)" +
      R"({"title":"1 d")" + action + R"("tag":1,"keyEquivalent":"","action":"setExpiry:","target":"principal"},)" +
      R"({"title":"7 d")" + action + R"("tag":7,"keyEquivalent":"","action":"setExpiry:","target":"principal"},)" +
      R"({"title":"30 d")" + action + R"("tag":30,"keyEquivalent":"","action":"setExpiry:","target":"principal"},)" +
      R"({"title":"","enabled":false,"separator":true,"tag":0,"keyEquivalent":""},)" +
      R"({"title":"Keep")" + action + R"("tag":0,"keyEquivalent":"","action":"setExpiry:","target":"principal"}]}}]}}]})" +
      "\n";
  EXPECT_EQ(result.out, expected);
}

TEST_F(MenuTest, TreeShowsPathsTitlesAndWhatItemsCarry) {
  const auto result = menu([&] {
    auto all = selection();
    all.push_back("--tree");
    return all;
  }());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "0      Ferlo  [image BrandGlyph 11x16]\n"
            "0/0    ├─ RULES  [styled, title \"Rules\", disabled]\n"
            "0/1    ├─ Tidy  [runRule: → principal, object \"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30\", tag 2147483648]\n"
            "0/2    ├─ ACTIONS  [styled, title \"Actions\", disabled]\n"
            "0/3    ├─ Flatten  [runFlatten: → principal]\n"
            "0/4    ├─ Merge 2  [runMergeSelected: → principal]\n"
            "0/5    └─ Expire one\n"
            "0/5/0     ├─ 1 d  [setExpiry: → principal, tag 1]\n"
            "0/5/1     ├─ 7 d  [setExpiry: → principal, tag 7]\n"
            "0/5/2     ├─ 30 d  [setExpiry: → principal, tag 30]\n"
            "0/5/3     ├─ ──────────\n"
            "0/5/4     └─ Keep  [setExpiry: → principal, tag 0]\n");
}

TEST_F(MenuTest, TreeOfAnEmptyMenuSaysSo) {
  const auto result = ferlo({"menu", "--tree"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "(empty menu)\n");
}

TEST_F(MenuTest, TitlesAreEscapedInJsonAndQuotedInTheTree) {
  writeManifest(R"({"rules":[{"id":")" + std::string(kRuleId) +
                R"(","name":"a\"b\\c\u0001\n/é"},{"id":")" + std::string(kRuleId) + R"(","name":""}]})");
  const auto json = menu({});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_NE(json.out.find(R"({"title":"a\"b\\c\u0001\n/é","enabled":true)"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find(R"({"title":"","enabled":true)"), std::string::npos) << json.out;
  const auto tree = menu({"--tree"});
  EXPECT_NE(tree.out.find("0/1  ├─ \"a\\\"b\\\\c\\u0001\\n/é\"  [runRule:"), std::string::npos) << tree.out;
  EXPECT_NE(tree.out.find("0/2  ├─ \"\"  [runRule:"), std::string::npos) << tree.out;
}

struct KindCase {
  const char* name;
  std::string kind;
  int exitCode;
  bool full;
};

class MenuKindTest : public MenuTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(MenuKindTest, OnlyContextualKindsGetTheEntry) {
  const auto result = menu({"--kind", GetParam().kind});
  ASSERT_EQ(result.exitCode, GetParam().exitCode) << result.err;
  if (GetParam().exitCode != 0) {
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("--kind"), std::string::npos) << result.err;
    return;
  }
  if (GetParam().full) {
    EXPECT_EQ(result.out.rfind(R"({"title":"","items":[{"title":"Ferlo")", 0), 0u) << result.out;
  } else {
    EXPECT_EQ(result.out, kEmptyMenu);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MenuKindTest,
    ::testing::Values(KindCase{"Zero", "0", 0, true}, KindCase{"Items", "items", 0, true},
                      KindCase{"Container", "container", 0, true}, KindCase{"Sidebar", "sidebar", 0, false},
                      KindCase{"Largest", "18446744073709551615", 0, false}, KindCase{"Negative", "-1", 2, false},
                      KindCase{"BeyondUnsigned64", "18446744073709551616", 2, false},
                      KindCase{"NameCaseMatters", "Items", 2, false}, KindCase{"Signed", "+1", 2, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct SelectCase {
  const char* name;
  std::vector<std::string> selects;  // --select values; "@" stands for the home directory
  bool merge;
  bool expiry;
};

class MenuSelectTest : public MenuTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(MenuSelectTest, SelectionFormsDecideMergeAndExpiry) {
  std::vector<std::string> all = {"--tree"};
  for (std::string value : GetParam().selects) {
    if (const auto at = value.find('@'); at != std::string::npos) value.replace(at, 1, home());
    all.push_back("--select");
    all.push_back(value);
  }
  const auto result = menu(all);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.find("runMergeSelected:") != std::string::npos, GetParam().merge) << result.out;
  EXPECT_EQ(result.out.find("setExpiry:") != std::string::npos, GetParam().expiry) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Selections, MenuSelectTest,
    ::testing::Values(
        SelectCase{"FolderMarkMissingMeansFile", {"@/A/", "@/B"}, false, false},
        SelectCase{"PercentEscapedFileUrlUnderRoot", {"file://@/in/a%20b.txt"}, false, true},
        SelectCase{"EscapedSlashStaysInTheName", {"file://@/i%2Fn/x.txt"}, false, false},
        SelectCase{"FolderUnderRootIsNoFile", {"@/in/sub/"}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MenuTest, DefaultResourcesAreFoundBesideTheProgram) {
  // Without --resources the program uses the resources the build copied
  // beside it: the shipped glyph and English table.
  const auto result = ferlo({"menu", "--host-running", "--group-containers", containers(), "--locale", "en_US",
                             "--user-home", home()},
                            /*withScenario=*/false);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"("image":{"name":"BrandGlyph","width":)"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(R"("height":16,"template":false})"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("finder.section.rules"), std::string::npos) << "the table was not found: " << result.out;
}

TEST_F(MenuTest, LocaleOptionPicksTableAndUpperCasingRules) {
  writeFile(resources() + "/tr.lproj/Localizable.strings", "\"finder.section.rules\" = \"kural listesi\";\n");
  const auto result = menu({"--locale", "tr_TR"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find(R"({"title":"kural listesi","enabled":false,"separator":false,"tag":0,"keyEquivalent":"",)"
                            R"("attributedTitle":{"string":"KURAL LİSTESİ")"),
            std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace ferlo::testing
