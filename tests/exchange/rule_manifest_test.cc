#include "exchange/rule_manifest.h"

#include <gtest/gtest.h>

#include "exchange/identity.h"
#include "platform/fake/fake_platform.h"

namespace ferlo {

// Readable failure output for manifests.
void PrintTo(const RuleManifest& manifest, std::ostream* os) { *os << encodeRuleManifest(manifest); }

namespace {

constexpr std::string_view kIdA = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
constexpr std::string_view kIdB = "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2";
const std::string kValidRule = R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n"})";

RuleManifest::Rule rule(std::string_view id, std::string name) { return {*parseUuid(id), std::move(name)}; }
std::string nested(std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); }
std::string withRule(const std::string& ruleObject) { return R"({"rules":[)" + ruleObject + "]}"; }
std::string withId(const std::string& idJson) { return withRule(R"({"id":)" + idJson + R"(,"name":"n"})"); }
std::string withName(const std::string& nameJson) {
  return withRule(R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":)" + nameJson + "}");
}
RuleManifest named(std::string name) { return {{rule(kIdA, std::move(name))}, std::nullopt}; }

// Any breach fails the whole manifest, with where and why for `ferlo check`.
TEST(DecodeRuleManifestTest, AcceptsWellFormedManifestsAndRejectsWithADiagnostic) {
  const struct {
    const char* name;
    std::string input;
    std::optional<RuleManifest> expected;  // none: rejected
    std::string where = {};
    std::string whyContains = {};
  } cases[] = {
      {"OnlyEmptyRules", R"({"rules":[]})", RuleManifest{}},
      {"TheHostsExample",
       R"({ "rules": [ { "id": "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", "name": "Tidy downloads" },
    { "id": "7a3c9e1b-4d2f-4b6a-8e05-c1d3f5a7b9e2", "name": "Archive screenshots" } ],
  "watchedRoots": [ "/Users/user/Downloads", "/Users/user/Desktop" ] })",
       RuleManifest{{rule(kIdA, "Tidy downloads"), rule(kIdB, "Archive screenshots")},
                    std::vector<std::string>{"/Users/user/Downloads", "/Users/user/Desktop"}}},
      {"WatchedRootsEmptyIsPresent", R"({"rules":[],"watchedRoots":[]})", RuleManifest{{}, std::vector<std::string>{}}},
      {"WatchedRootsNullIsAbsent", R"({"rules":[],"watchedRoots":null})", RuleManifest{}},
      {"ExtraMembersIgnoredWhateverTheyHold",
       R"({"version":3,"Rules":"x","watchedroots":7,"meta":{"deep":[[{"a":null}]],"n":1e308},)"
       R"("rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n","ID":5,"Name":null,)"
       R"("extra":[true,false,18446744073709551615,-9223372036854775808]}]})", named("n")},
      {"EscapesInName", withName(R"("a\"b\\c\n\u00e9\ud83d\ude00\u0000")"),
       named(std::string("a\"b\\c\n\xC3\xA9\xF0\x9F\x98\x80\0", 13))},
      // Noncharacters, the byte order mark and the line separators are
      // text like any other, escaped or raw.
      {"UnusualCharactersKeptVerbatim", withName("\"\\uFFFF\\uDBFF\\uDFFF\\uFEFF\\u2028\xEF\xBF\xBE\xE2\x80\xA8\""),
       named("\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xEF\xBB\xBF\xE2\x80\xA8\xEF\xBF\xBE\xE2\x80\xA8")},
      {"RepeatedMembersLastCounts",
       R"({"rules":"not an array","rules":[{"id":"nope","name":1,"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n"}]})",
       named("n")},
      {"NestingOfExactly1024Levels", R"({"rules":[],"x":)" + nested(1023) + "}", RuleManifest{}},
      {"Empty", "", std::nullopt, "", "the document is empty"},
      {"TrailingContent", R"({"rules":[]} {})", std::nullopt, "", "not valid JSON: "},
      {"ByteOrderMark", "\xEF\xBB\xBF{\"rules\":[]}", std::nullopt, "", "not valid JSON: "},
      {"InvalidUtf8InName", withName("\"\xFF\""), std::nullopt, "", "invalid UTF-8"},
      {"LoneSurrogateEscape", withName(R"("\ud800")"), std::nullopt, "", "surrogate"},
      {"IntegerBeyond64Bits", R"({"rules":[],"x":18446744073709551616})", std::nullopt, "", "64-bit"},
      {"NestingTooDeepInIgnoredMember", R"({"rules":[],"x":)" + nested(1024) + "}", std::nullopt, "",
       "nesting deeper than 1024 levels"},
      {"TopLevelArray", "[]", std::nullopt, "", "the top level must be an object, got an array"},
      {"RulesMissing", R"({"watchedRoots":[]})", std::nullopt, "", "missing required member \"rules\""},
      {"RuleIsString", R"({"rules":["x"]})", std::nullopt, "rules[0]", "expected a rule object, got a string"},
      {"RuleMissingId", withRule(R"({"name":"n"})"), std::nullopt, "rules[0]", "missing required member \"id\""},
      {"SecondRuleMissingName", R"({"rules":[)" + kValidRule + R"(,{"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2"}]})",
       std::nullopt, "rules[1]", "missing required member \"name\""},
      {"NameNotAString", withName("null"), std::nullopt, "rules[0].name", "expected a string, got null"},
      {"IdHyphenMisplaced", withId(R"("0F8E2C4A6-B1D-4A3E-9C57-2D8B4E6F1A30")"), std::nullopt, "rules[0].id",
       "character 9 should be \"-\""},
      {"IdNotText", withId(R"("x")"), std::nullopt, "rules[0].id", "not in UUID text form"},
      {"IdLongValueIsCut", withId("\"" + std::string(300, 'A') + "\""), std::nullopt, "rules[0].id",
       "got 300 characters: \"" + std::string(48, 'A') + "...\""},
      {"IdCutBeforeASplitCharacter", withId("\"" + std::string(47, 'A') + "\xC3\xA9" + "\""), std::nullopt,
       "rules[0].id", "got 48 characters: \"" + std::string(47, 'A') + "...\""},
      {"WatchedRootsSingleString", R"({"rules":[],"watchedRoots":"/Users/user"})", std::nullopt, "watchedRoots",
       "expected an array of strings or null, got a string"},
  };
  for (const auto& c : cases) {
    const Decoded<RuleManifest> result = decodeRuleManifest(c.input);
    EXPECT_EQ(result.value, c.expected) << c.name << ": " << result.error.where << ": " << result.error.why;
    if (!c.expected) {
      EXPECT_EQ(result.error.where, c.where) << c.name;
      EXPECT_NE(result.error.why.find(c.whyContains), std::string::npos) << c.name << ": " << result.error.why;
    }
  }
}

// A view that ends before the closing brace fails even though the bytes
// after it (or in spare capacity parsed in place) would complete it.
TEST(DecodeRuleManifestTest, ReadsOnlyTheGivenBytes) {
  std::string padded = R"({"rules":[]})";
  EXPECT_FALSE(decodeRuleManifest(std::string_view(padded).substr(0, padded.size() - 1)));
  padded.reserve(padded.size() + 4 * kReadPadding);
  padded.pop_back();
  EXPECT_FALSE(decodeRuleManifest(padded));
  padded.push_back('}');
  EXPECT_TRUE(decodeRuleManifest(padded));
}

TEST(LoadRuleManifestTest, ReadsTheContainersRulesAfreshAndEveryFailureIsNone) {
  FakePlatform platform;
  platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.test"));
  platform.containers.emplace("group.test", FileURL::fileURLWithPath("/C/group.test", true));
  const Identity identity(platform);
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);  // no file
  platform.putFile("/C/group.test/rules.json", R"({"rules":[],"watchedRoots":"/a"})");
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);  // undecodable
  platform.putFile("/C/group.test/rules.json", withRule(kValidRule));
  platform.putFile("/rules.json", R"({"rules":[]})");
  EXPECT_EQ(loadRuleManifest(platform, identity), named("n"));
  // The container is looked up at every load, the app group computed once.
  EXPECT_EQ(std::pair(platform.containerLookups(), platform.infoDictionaryReads()), std::pair(3, 1));
  // No container: nothing is read from any other place.
  platform.containers.clear();
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);
}

}  // namespace
}  // namespace ferlo
