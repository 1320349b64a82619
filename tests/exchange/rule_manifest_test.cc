#include "exchange/rule_manifest.h"

#include <gtest/gtest.h>

#include <random>

#include "exchange/identity.h"
#include "platform/fake/fake_platform.h"

namespace ferlo {

// Readable failure output for manifests.
void PrintTo(const RuleManifest& manifest, std::ostream* os) { *os << encodeRuleManifest(manifest); }

namespace {

constexpr std::string_view kIdA = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
constexpr std::string_view kIdB = "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2";

RuleManifest::Rule rule(std::string_view id, std::string name) { return {*parseUuid(id), std::move(name)}; }

std::string nested(std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// ---- Accepted manifests ----

struct AcceptCase {
  const char* name;
  std::string input;
  RuleManifest expected;
};

void PrintTo(const AcceptCase& c, std::ostream* os) { *os << c.name << ": " << c.input.substr(0, 200); }

class DecodeAcceptTest : public testing::TestWithParam<AcceptCase> {};

TEST_P(DecodeAcceptTest, GivesTheManifest) {
  const Decoded<RuleManifest> result = decodeRuleManifest(GetParam().input);
  ASSERT_TRUE(result) << result.error.where << ": " << result.error.why;
  EXPECT_EQ(*result.value, GetParam().expected);
}

const std::string kValidRule = R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n"})";

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeAcceptTest,
    testing::Values(
        AcceptCase{"OnlyEmptyRules", R"({"rules":[]})", {}},
        AcceptCase{"TheHostsExample",
                   R"({
  "rules": [
    { "id": "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", "name": "Tidy downloads" },
    { "id": "7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2", "name": "Archive screenshots" }
  ],
  "watchedRoots": [ "/Users/user/Downloads", "/Users/user/Desktop" ]
})",
                   {{rule(kIdA, "Tidy downloads"), rule(kIdB, "Archive screenshots")},
                    std::vector<std::string>{"/Users/user/Downloads", "/Users/user/Desktop"}}},
        AcceptCase{"WatchedRootsEmptyIsPresent", R"({"rules":[],"watchedRoots":[]})",
                   {{}, std::vector<std::string>{}}},
        AcceptCase{"ExtraMembersIgnoredWhateverTheyHold",
                   R"({"version":3,"Rules":"x","watchedroots":7,"meta":{"deep":[[{"a":null}]],"n":1e308},)"
                   R"("rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n","ID":5,"Name":null,)"
                   R"("extra":[true,false,18446744073709551615,-9223372036854775808]}]})",
                   {{rule(kIdA, "n")}, std::nullopt}},
        AcceptCase{"EscapesInName",
                   R"({"rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"a\"b\\c\n\u00e9\ud83d\ude00\u0000"}]})",
                   {{rule(kIdA, std::string("a\"b\\c\n\xC3\xA9\xF0\x9F\x98\x80\0", 13))}, std::nullopt}},
        AcceptCase{"RepeatedRulesLastCounts", R"({"rules":"not an array","rules":[)" + kValidRule + "]}",
                   {{rule(kIdA, "n")}, std::nullopt}},
        AcceptCase{"RepeatedRuleMembersLastCounts",
                   R"({"rules":[{"id":"nope","name":1,"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n"}]})",
                   {{rule(kIdA, "n")}, std::nullopt}},
        AcceptCase{"NestingOfExactly1024Levels", R"({"rules":[],"x":)" + nested(1023) + "}", {}}),
    [](const testing::TestParamInfo<AcceptCase>& info) { return std::string(info.param.name); });

// ---- Rejected manifests ----

struct RejectCase {
  const char* name;
  std::string input;
  std::string where;
  std::string whyContains;
};

void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.name << ": " << c.input.substr(0, 200); }

class DecodeRejectTest : public testing::TestWithParam<RejectCase> {};

TEST_P(DecodeRejectTest, FailsWithDiagnostic) {
  const Decoded<RuleManifest> result = decodeRuleManifest(GetParam().input);
  ASSERT_FALSE(result) << "accepted";
  EXPECT_EQ(result.error.where, GetParam().where);
  EXPECT_NE(result.error.why.find(GetParam().whyContains), std::string::npos) << result.error.why;
}

std::string withRule(const std::string& ruleObject) { return R"({"rules":[)" + ruleObject + "]}"; }
std::string withId(const std::string& idJson) { return withRule(R"({"id":)" + idJson + R"(,"name":"n"})"); }

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeRejectTest,
    testing::Values(
        RejectCase{"Empty", "", "", "the document is empty"},
        RejectCase{"NotJson", "rules", "", "not valid JSON: "},
        RejectCase{"TrailingContent", R"({"rules":[]} {})", "", "not valid JSON: "},
        RejectCase{"ByteOrderMark", "\xEF\xBB\xBF{\"rules\":[]}", "", "not valid JSON: "},
        RejectCase{"InvalidUtf8InName", withRule("{\"id\":\"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30\",\"name\":\"\xFF\"}"),
                   "", "invalid UTF-8"},
        RejectCase{"LoneHighSurrogateEscape",
                   withRule(R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"\ud800"})"), "", "surrogate"},
        RejectCase{"IntegerBeyond64Bits", R"({"rules":[],"x":18446744073709551616})", "", "64-bit"},
        RejectCase{"NestingTooDeepInIgnoredMember", R"({"rules":[],"x":)" + nested(1024) + "}", "",
                   "nesting deeper than 1024 levels"},
        RejectCase{"TopLevelArray", "[]", "", "the top level must be an object, got an array"},
        RejectCase{"RulesMissing", R"({"watchedRoots":[]})", "", "missing required member \"rules\""},
        RejectCase{"RuleIsString", R"({"rules":["x"]})", "rules[0]", "expected a rule object, got a string"},
        RejectCase{"RuleMissingId", withRule(R"({"name":"n"})"), "rules[0]", "missing required member \"id\""},
        RejectCase{"SecondRuleMissingName",
                   R"({"rules":[)" + kValidRule + R"(,{"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2"}]})",
                   "rules[1]", "missing required member \"name\""},
        RejectCase{"Id35Characters", withId(R"("0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3")"), "rules[0].id",
                   "got 35 characters: \"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3\""},
        RejectCase{"IdBraced", withId(R"("{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30}")"), "rules[0].id",
                   "got 38 characters: \"{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30}\""},
        RejectCase{"IdHyphenMisplaced", withId(R"("0F8E2C4A6-B1D-4A3E-9C57-2D8B4E6F1A30")"), "rules[0].id",
                   "character 9 should be \"-\""},
        RejectCase{"IdLongValueIsCut", withId("\"" + std::string(300, 'A') + "\""), "rules[0].id",
                   "got 300 characters: \"" + std::string(48, 'A') + "...\""},
        RejectCase{"WatchedRootsSingleString", R"({"rules":[],"watchedRoots":"/Users/user"})", "watchedRoots",
                   "expected an array of strings or null, got a string"},
        RejectCase{"OneBadRuleRejectsAll",
                   R"({"rules":[)" + kValidRule + "," + kValidRule + R"(,{"id":"x","name":"n"}],"watchedRoots":["/a"]})",
                   "rules[2].id", "not in UUID text form"}),
    [](const testing::TestParamInfo<RejectCase>& info) { return std::string(info.param.name); });

// ---- Encoding ----

TEST(EncodeRuleManifestTest, ExactBytes) {
  RuleManifest manifest;
  manifest.rules = {rule("0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30", "Tidy downloads"),
                    rule(kIdB, "Caf\xC3\xA9 \"menus\"")};
  manifest.watchedRoots = std::vector<std::string>{"/Users/user/Downloads", "/Users/user/Desktop/"};
  EXPECT_EQ(encodeRuleManifest(manifest),
            R"({"rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"Tidy downloads"},)"
            R"({"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":"Caf)" "\xC3\xA9" R"( \"menus\""}],)"
            R"("watchedRoots":["\/Users\/user\/Downloads","\/Users\/user\/Desktop\/"]})");
  EXPECT_EQ(encodeRuleManifest({}), R"({"rules":[]})");
  EXPECT_EQ(encodeRuleManifest({{}, std::vector<std::string>{}}), R"({"rules":[],"watchedRoots":[]})");
}

TEST(EncodeRuleManifestTest, InvalidUtf8IsReplacedSoTheTextStillDecodes) {
  RuleManifest manifest;
  manifest.rules = {rule(kIdA, "bad\xFF")};
  manifest.watchedRoots = std::vector<std::string>{"/x\xC3"};
  const std::string text = encodeRuleManifest(manifest);
  const Decoded<RuleManifest> decoded = decodeRuleManifest(text);
  ASSERT_TRUE(decoded) << decoded.error.why;
  EXPECT_EQ(decoded.value->rules[0].name, "bad\xEF\xBF\xBD");
  EXPECT_EQ(decoded.value->watchedRoots, std::vector<std::string>{"/x\xEF\xBF\xBD"});
}

// Valid UTF-8 text drawn from characters that stress the escaping.
std::string randomText(std::mt19937& generator) {
  static const std::string pieces[] = {"a", " ", "/", "\\", "\"", "\n", std::string(1, '\0'), "\x1f", "\x7f",
                                       "\xC3\xA9", "\xE2\x80\xA8", "\xF0\x9F\x98\x80", "{", "]", ":", ","};
  std::string text;
  for (auto n = generator() % 13; n > 0; --n) text += pieces[generator() % std::size(pieces)];
  return text;
}

TEST(RuleManifestRoundTripTest, RandomManifestsDecodeEqual) {
  std::mt19937 generator(12345);
  for (int round = 0; round < 300; ++round) {
    RuleManifest manifest;
    for (int n = static_cast<int>(generator() % 6); n > 0; --n) {
      RuleManifest::Rule r;
      for (auto& byte : r.id.bytes) byte = static_cast<std::uint8_t>(generator());
      r.name = randomText(generator);
      manifest.rules.push_back(std::move(r));
    }
    if (generator() % 3 != 0) {
      manifest.watchedRoots.emplace();
      for (int n = static_cast<int>(generator() % 4); n > 0; --n) manifest.watchedRoots->push_back(randomText(generator));
    }
    const std::string text = encodeRuleManifest(manifest);
    const Decoded<RuleManifest> decoded = decodeRuleManifest(text);
    ASSERT_TRUE(decoded) << text << "\n" << decoded.error.where << ": " << decoded.error.why;
    ASSERT_EQ(*decoded.value, manifest) << text;
  }
}

// ---- Buffers: in place, copied, and views that stop short ----

TEST(DecodeRuleManifestBufferTest, ReadsOnlyTheGivenBytes) {
  // A view that ends before the closing brace must fail even though the
  // bytes after it (or in spare capacity parsed in place) would complete it.
  const std::string complete = R"({"rules":[]})";
  EXPECT_FALSE(decodeRuleManifest(std::string_view(complete).substr(0, complete.size() - 1)));
  std::string padded = complete;
  padded.reserve(complete.size() + 4 * kReadPadding);
  padded.pop_back();
  EXPECT_FALSE(decodeRuleManifest(padded));
  padded.push_back('}');
  EXPECT_TRUE(decodeRuleManifest(padded));
  std::string tight = complete;
  tight.shrink_to_fit();
  EXPECT_TRUE(decodeRuleManifest(tight));
}

// ---- loadRuleManifest against the fake platform ----

class LoadRuleManifestTest : public testing::Test {
 protected:
  LoadRuleManifestTest() {
    platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.test"));
    platform.containers.emplace("group.test", FileURL::fileURLWithPath("/Containers/group.test", true));
  }
  FakePlatform platform;
  Identity identity{platform};
};

TEST_F(LoadRuleManifestTest, ReadsOnlyTheContainersRulesAndEveryFailureIsNone) {
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);  // no file
  platform.putFile("/Containers/group.test/rules.json", R"({"rules":[],"watchedRoots":"/a"})");
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);
  platform.putFile("/Containers/group.test/rules.json", R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"T"}]})");
  platform.putFile("/rules.json", R"({"rules":[]})");
  EXPECT_EQ(loadRuleManifest(platform, identity), (RuleManifest{{rule(kIdA, "T")}, std::nullopt}));
  // No container: nothing is read from any other place.
  platform.containers.clear();
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);
}

TEST_F(LoadRuleManifestTest, ContainerIsLookedUpAtEveryLoad) {
  platform.putFile("/Containers/group.test/rules.json", R"({"rules":[]})");
  const int before = platform.containerLookups();
  ASSERT_TRUE(loadRuleManifest(platform, identity).has_value());
  ASSERT_TRUE(loadRuleManifest(platform, identity).has_value());
  EXPECT_EQ(platform.containerLookups(), before + 2);
  EXPECT_EQ(platform.infoDictionaryReads(), 1) << "the app group is computed once";
}

}  // namespace
}  // namespace ferlo
