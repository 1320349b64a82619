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
        AcceptCase{"LowerCaseId", R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"n"}]})",
                   {{rule(kIdA, "n")}, std::nullopt}},
        AcceptCase{"WatchedRootsNullIsAbsent", R"({"rules":[],"watchedRoots":null})", {}},
        AcceptCase{"WatchedRootsEmptyIsPresent", R"({"rules":[],"watchedRoots":[]})",
                   {{}, std::vector<std::string>{}}},
        AcceptCase{"MembersInAnyOrder",
                   R"({"watchedRoots":["/a/"],"rules":[{"name":"n","id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"}]})",
                   {{rule(kIdA, "n")}, std::vector<std::string>{"/a/"}}},
        AcceptCase{"ExtraMembersIgnoredWhateverTheyHold",
                   R"({"version":3,"Rules":"x","watchedroots":7,"meta":{"deep":[[{"a":null}]],"n":1e308},)"
                   R"("rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"n","ID":5,"Name":null,)"
                   R"("extra":[true,false,18446744073709551615,-9223372036854775808]}]})",
                   {{rule(kIdA, "n")}, std::nullopt}},
        AcceptCase{"EscapedSlashReadAsSlash", R"({"rules":[],"watchedRoots":["\/Users\/user"]})",
                   {{}, std::vector<std::string>{"/Users/user"}}},
        AcceptCase{"EscapesInName",
                   R"({"rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"a\"b\\c\n\u00e9\ud83d\ude00\u0000"}]})",
                   {{rule(kIdA, std::string("a\"b\\c\n\xC3\xA9\xF0\x9F\x98\x80\0", 13))}, std::nullopt}},
        AcceptCase{"EmptyName", R"({"rules":[{"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":""}]})",
                   {{rule(kIdA, "")}, std::nullopt}},
        AcceptCase{"SurroundingWhiteSpace", " \r\n\t{\"rules\":[]} \n", {}},
        AcceptCase{"RepeatedRulesLastCounts", R"({"rules":"not an array","rules":[)" + kValidRule + "]}",
                   {{rule(kIdA, "n")}, std::nullopt}},
        AcceptCase{"RepeatedRulesLastEmptyOverridesBadRule", R"({"rules":[{"id":1}],"rules":[]})", {}},
        AcceptCase{"RepeatedWatchedRootsLastNull", R"({"rules":[],"watchedRoots":["/a"],"watchedRoots":null})", {}},
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
        RejectCase{"WhiteSpaceOnly", " \n\t\r ", "", "the document is empty"},
        RejectCase{"NotJson", "rules", "", "not valid JSON: "},
        RejectCase{"Truncated", R"({"rules":[)", "", "not valid JSON: "},
        RejectCase{"TrailingContent", R"({"rules":[]} {})", "", "not valid JSON: "},
        RejectCase{"TrailingComma", R"({"rules":[],})", "", "not valid JSON: "},
        RejectCase{"ByteOrderMark", "\xEF\xBB\xBF{\"rules\":[]}", "", "not valid JSON: "},
        RejectCase{"InvalidUtf8InName", withRule("{\"id\":\"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30\",\"name\":\"\xFF\"}"),
                   "", "invalid UTF-8"},
        RejectCase{"InvalidUtf8InIgnoredMember", "{\"rules\":[],\"x\":\"\xC0\xAF\"}", "", "invalid UTF-8"},
        RejectCase{"LoneHighSurrogateEscape",
                   withRule(R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":"\ud800"})"), "", "surrogate"},
        RejectCase{"LoneLowSurrogateEscape", R"({"rules":[],"x":"\udc00"})", "", "surrogate"},
        RejectCase{"HighSurrogateThenLetter", R"({"rules":[],"x":"\ud800\u0041"})", "", "not valid JSON"},
        RejectCase{"UnescapedControlCharacter", "{\"rules\":[],\"x\":\"a\tb\"}", "", "not valid JSON"},
        RejectCase{"IntegerBeyond64Bits", R"({"rules":[],"x":18446744073709551616})", "", "64-bit"},
        RejectCase{"NestingTooDeepInIgnoredMember", R"({"rules":[],"x":)" + nested(1024) + "}", "",
                   "nesting deeper than 1024 levels"},
        RejectCase{"TopLevelArray", "[]", "", "the top level must be an object, got an array"},
        RejectCase{"TopLevelNull", "null", "", "the top level must be an object, got null"},
        RejectCase{"RulesMissing", R"({"watchedRoots":[]})", "", "missing required member \"rules\""},
        RejectCase{"RulesWrongCase", R"({"Rules":[]})", "", "missing required member \"rules\""},
        RejectCase{"RulesNull", R"({"rules":null})", "rules", "expected an array of rule objects, got null"},
        RejectCase{"RuleIsString", R"({"rules":["x"]})", "rules[0]", "expected a rule object, got a string"},
        RejectCase{"SecondRuleIsNull", R"({"rules":[)" + kValidRule + ",null]}", "rules[1]", "got null"},
        RejectCase{"RuleMissingId", withRule(R"({"name":"n"})"), "rules[0]", "missing required member \"id\""},
        RejectCase{"SecondRuleMissingName",
                   R"({"rules":[)" + kValidRule + R"(,{"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2"}]})",
                   "rules[1]", "missing required member \"name\""},
        RejectCase{"NameNull", R"({"rules":[)" + kValidRule + R"(,{"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":null}]})",
                   "rules[1].name", "expected a string, got null"},
        RejectCase{"NameNumber", withRule(R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":3})"),
                   "rules[0].name", "expected a string, got a number"},
        RejectCase{"IdNumber", withId("42"), "rules[0].id", "got a number"},
        RejectCase{"IdNull", withId("null"), "rules[0].id", "got null"},
        RejectCase{"Id35Characters", withId(R"("0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3")"), "rules[0].id",
                   "got 35 characters: \"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3\""},
        RejectCase{"Id37Characters", withId(R"("0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A300")"), "rules[0].id",
                   "got 37 characters"},
        RejectCase{"IdBraced", withId(R"("{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30}")"), "rules[0].id",
                   "got 38 characters: \"{0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30}\""},
        RejectCase{"IdWithoutHyphens", withId(R"("0F8E2C4A6B1D4A3E9C572D8B4E6F1A30")"), "rules[0].id",
                   "got 32 characters"},
        RejectCase{"IdHyphenMisplaced", withId(R"("0F8E2C4A6-B1D-4A3E-9C57-2D8B4E6F1A30")"), "rules[0].id",
                   "character 9 should be \"-\""},
        RejectCase{"IdNonHexDigit", withId(R"("0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A3Z")"), "rules[0].id",
                   "character 36 is not a hexadecimal digit"},
        RejectCase{"IdSurroundingSpaces", withId(R"(" 0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30 ")"), "rules[0].id",
                   "got 38 characters"},
        RejectCase{"IdLongValueIsCut", withId("\"" + std::string(300, 'A') + "\""), "rules[0].id",
                   "got 300 characters: \"" + std::string(48, 'A') + "...\""},
        RejectCase{"WatchedRootsSingleString", R"({"rules":[],"watchedRoots":"/Users/user"})", "watchedRoots",
                   "expected an array of strings or null, got a string"},
        RejectCase{"WatchedRootsFourthIsNumber", R"({"rules":[],"watchedRoots":["/a","/b","/c",4]})",
                   "watchedRoots[3]", "expected a string, got a number"},
        RejectCase{"WatchedRootsElementNull", R"({"rules":[],"watchedRoots":[null]})", "watchedRoots[0]",
                   "expected a string, got null"},
        RejectCase{"RepeatedRulesLastIsBad", R"({"rules":[],"rules":7})", "rules", "got a number"},
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
}

TEST(EncodeRuleManifestTest, AbsentAndEmptyWatchedRoots) {
  RuleManifest manifest;
  EXPECT_EQ(encodeRuleManifest(manifest), R"({"rules":[]})");
  manifest.watchedRoots.emplace();
  EXPECT_EQ(encodeRuleManifest(manifest), R"({"rules":[],"watchedRoots":[]})");
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
  static const std::vector<std::string> pieces = {
      "a", "Z", " ", "/", "\\", "\"", "\n", "\t", std::string(1, '\0'), "\x1f", "\x7f", "\xC3\xA9",
      "\xE2\x80\xA8", "\xF0\x9F\x98\x80", "Downloads", "{", "]", ":", ","};
  std::uniform_int_distribution<std::size_t> length(0, 12);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::string text;
  for (std::size_t n = length(generator); n > 0; --n) text += pieces[pick(generator)];
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
  const std::string complete = R"({"rules":[]})";
  // A view that ends before the closing brace must fail even though the
  // bytes after it would complete the document.
  std::string_view cut = std::string_view(complete).substr(0, complete.size() - 1);
  EXPECT_FALSE(decodeRuleManifest(cut));
  EXPECT_TRUE(decodeRuleManifest(std::string_view(complete)));

  // The same with a string whose spare capacity is parsed in place.
  std::string padded = complete;
  padded.reserve(complete.size() + 4 * kReadPadding);
  padded.resize(complete.size() - 1);
  ASSERT_GE(padded.capacity() - padded.size(), kReadPadding);
  EXPECT_FALSE(decodeRuleManifest(padded));
  padded.push_back('}');
  EXPECT_TRUE(decodeRuleManifest(padded));

  // And with one that has no spare capacity.
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

TEST_F(LoadRuleManifestTest, ReadsRulesJsonInTheAppGroupsContainer) {
  platform.putFile("/Containers/group.test/rules.json",
                   R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"}]})");
  const std::optional<RuleManifest> manifest = loadRuleManifest(platform, identity);
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->rules.size(), 1u);
  EXPECT_EQ(manifest->rules[0].id.uuidString(), kIdA);
  EXPECT_EQ(manifest->rules[0].name, "Tidy");
  EXPECT_FALSE(manifest->watchedRoots.has_value());
}

TEST_F(LoadRuleManifestTest, EveryFailureIsNone) {
  // No file.
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);
  // A file that does not decode.
  platform.putFile("/Containers/group.test/rules.json", R"({"rules":[],"watchedRoots":"/a"})");
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);
  platform.putFile("/Containers/group.test/rules.json", "");
  EXPECT_EQ(loadRuleManifest(platform, identity), std::nullopt);
  // A good file, but no container: nothing is read from any other place.
  platform.putFile("/Containers/group.test/rules.json", R"({"rules":[]})");
  platform.putFile("/rules.json", R"({"rules":[]})");
  EXPECT_TRUE(loadRuleManifest(platform, identity).has_value());
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

TEST_F(LoadRuleManifestTest, SixtyFourMegabyteManifestDecodes) {
  // Rules of about 1 KB each, written straight out so that the test spends
  // its time decoding; the last rule's id is in lower case.
  constexpr std::size_t kRules = 68'000;
  const std::string longName(1000, 'n');
  std::string text = R"({"watchedRoots":["\/Users\/user\/Downloads"],"rules":[)";
  text.reserve(kRules * 1070);
  for (std::size_t i = 0; i < kRules; ++i) {
    if (i > 0) text += ",\n";
    text += i + 1 == kRules ? R"({"id":"7a3c9e1b-4d2f-4b6a-8e05-c1d3f5a7b9e2","name":")"
                            : R"({"id":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30","name":")";
    text += longName;
    text += std::to_string(i);
    text += "\"}";
  }
  text += "]}";
  ASSERT_GE(text.size(), std::size_t{64} << 20);
  platform.putFile("/Containers/group.test/rules.json", std::move(text));

  const std::optional<RuleManifest> loaded = loadRuleManifest(platform, identity);
  ASSERT_TRUE(loaded.has_value());
  ASSERT_EQ(loaded->rules.size(), kRules);
  EXPECT_EQ(loaded->rules[0], rule(kIdA, longName + "0"));
  EXPECT_EQ(loaded->rules[12'345], rule(kIdA, longName + "12345"));
  EXPECT_EQ(loaded->rules.back(), rule(kIdB, longName + std::to_string(kRules - 1)));
  EXPECT_EQ(loaded->watchedRoots, std::vector<std::string>{"/Users/user/Downloads"});
}

}  // namespace
}  // namespace ferlo
