// ferlo menu: the exact JSON document and tree, the escaping of titles in
// each, and the options that shape the scenario (--kind, --select, --locale,
// the default resources).
#include <gtest/gtest.h>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {
namespace {

class MenuTest : public FerloTest {
 protected:
  // The largest identifier taken: the first rule item's tag is 2^31 - 2^13.
  ProcessResult menu(std::vector<std::string> extra) const {
    std::vector<std::string> all = {"menu", "--host-running", "--process-id", "131071"};
    all.insert(all.end(), extra.begin(), extra.end());
    return ferlo(all);
  }
  // Two folders and a file under the watched root, given as a path, a path
  // and a file URL.
  std::vector<std::string> selection(std::vector<std::string> extra) const {
    extra.insert(extra.end(), {"--select", home() + "/A/", "--select", home() + "/B/", "--select",
                               "file://" + home() + "/in/a%20b.txt"});
    return extra;
  }
};

TEST_F(MenuTest, FullMenuDocumentIsByteExact) {
  const std::string header = R"(,"enabled":false,"separator":false,"tag":0,"keyEquivalent":"","attributedTitle":{"string":)";
  const std::string styled = R"(,"font":"systemFont:smallSystemFontSize:semibold","foregroundColor":"secondaryLabelColor"}})";
  const std::string action = R"(,"enabled":true,"separator":false,"tag":)";
  const std::string to = R"(,"keyEquivalent":"","action":")";
  const std::string principal = R"(:","target":"principal"})";
  const std::string document =
      R"({"title":"","items":[{"title":"Ferlo","enabled":true,"separator":false,"tag":0,"keyEquivalent":"",)"
      R"("image":{"name":"BrandGlyph","width":11,"height":16,"template":false},"submenu":{"title":"Ferlo","items":[)"
      R"({"title":"Rules")" + header + R"("RULES")" + styled + "," +
      R"({"title":"Tidy")" + action + "2147475456" + to + R"(runRule:","target":"principal",)" +
      R"("representedObject":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"},)" +
      R"({"title":"Actions")" + header + R"("ACTIONS")" + styled + "," +
      R"({"title":"Flatten")" + action + "0" + to + "runFlatten" + principal + "," +
      R"({"title":"Merge 2")" + action + "0" + to + "runMergeSelected" + principal + "," +
      R"({"title":"Expire one","enabled":true,"separator":false,"tag":0,"keyEquivalent":"","submenu":{"title":"","items":[)" +
      R"({"title":"1 d")" + action + "1" + to + "setExpiry" + principal + "," +
      R"({"title":"7 d")" + action + "7" + to + "setExpiry" + principal + "," +
      R"({"title":"30 d")" + action + "30" + to + "setExpiry" + principal + "," +
      R"({"title":"","enabled":false,"separator":true,"tag":0,"keyEquivalent":""},)" +
      R"({"title":"Keep")" + action + "0" + to + "setExpiry" + principal + "]}}]}}]}\n";
  EXPECT_EQ(menu(selection({"--kind", "items"})), (ProcessResult{0, document, ""}));
}

TEST_F(MenuTest, TreeShowsPathsTitlesAndWhatItemsCarry) {
  EXPECT_EQ(menu(selection({"--tree", "--kind", "container"})).out,
            "0      Ferlo  [image BrandGlyph 11x16]\n"
            "0/0    ├─ RULES  [styled, title \"Rules\", disabled]\n"
            "0/1    ├─ Tidy  [runRule: → principal, object \"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30\", tag 2147475456]\n"
            "0/2    ├─ ACTIONS  [styled, title \"Actions\", disabled]\n"
            "0/3    ├─ Flatten  [runFlatten: → principal]\n"
            "0/4    ├─ Merge 2  [runMergeSelected: → principal]\n"
            "0/5    └─ Expire one\n"
            "0/5/0     ├─ 1 d  [setExpiry: → principal, tag 1]\n"
            "0/5/1     ├─ 7 d  [setExpiry: → principal, tag 7]\n"
            "0/5/2     ├─ 30 d  [setExpiry: → principal, tag 30]\n"
            "0/5/3     ├─ ──────────\n"
            "0/5/4     └─ Keep  [setExpiry: → principal, tag 0]\n");
  // The host does not run; kinds that get no entry, by name or number.
  EXPECT_EQ(ferlo({"menu", "--tree"}).out, "(empty menu)\n");
  for (const std::string kind : {"sidebar", "18446744073709551615"}) {
    EXPECT_EQ(menu({"--kind", kind}), (ProcessResult{0, "{\"title\":\"\",\"items\":[]}\n", ""})) << kind;
  }
}

// The tree escapes as doctor does: controls, separators and bidirectional
// controls could otherwise break or reorder its lines. (The JSON document
// escapes as every document of the program: the writer's and info's tests.)
TEST_F(MenuTest, TitlesAreQuotedInTheTree) {
  writeManifest(R"({"rules":[{"id":")" + std::string(kRuleId) + R"(","name":"a\"b\\c\u0001\u001f\n/é\u007f\u0085\u2028)"
                R"(\u200f\u202e\u2069"},{"id":")" + std::string(kRuleId) + R"(","name":""}]})");
  const auto tree = menu({"--tree"}).out;
  EXPECT_TRUE(has(tree, R"(0/1  ├─ "a\"b\\c\x01\x1F\n/é\x7F\u{0085}\u{2028}\u{200F}\u{202E}\u{2069}"  [runRule:)") &&
              has(tree, "0/2  ├─ \"\"  [runRule:"))
      << tree;
}

TEST_F(MenuTest, LocaleAndResourceOptions) {
  // --locale picks the table, and the language's rules upper-case the headers.
  writeFile(resources() + "/tr.lproj/Localizable.strings", "\"finder.section.rules\" = \"kural listesi\";\n");
  EXPECT_TRUE(has(menu({"--locale", "tr_TR"}).out, R"({"title":"kural listesi","enabled":false,"separator":false,"tag":0,)"
                                                   R"("keyEquivalent":"","attributedTitle":{"string":"KURAL LİSTESİ")"));
  // Without --resources: those the build copied beside the program, the
  // shipped glyph and English table.
  const auto result = ferlo({"menu", "--host-running", "--group-containers", containers(), "--locale", "en_US",
                             "--user-home", home()}, false);
  EXPECT_TRUE(result.exitCode == 0 && has(result.out, R"("image":{"name":"BrandGlyph","width":)") &&
              has(result.out, R"("height":16,"template":false})") && !has(result.out, "finder.section.rules"))
      << "the glyph or the table was not found: " << ::testing::PrintToString(result);
}

}  // namespace
}  // namespace ferlo::testing
