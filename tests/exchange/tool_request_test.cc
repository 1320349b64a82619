#include "exchange/tool_request.h"

#include <gtest/gtest.h>

#include <limits>

#include "exchange/identity.h"
#include "platform/fake/fake_platform.h"

namespace ferlo {

// Readable failure output for requests.
void PrintTo(const ToolRequest& request, std::ostream* os) {
  *os << encodeToolRequest(request).value_or("<not encodable>");
}

namespace {

using Action = ToolRequest::Action;
using Strings = std::vector<std::string>;

// Fills the fields one by one: GCC 12 under the sanitizers takes the moves
// of by-value optionals for reads of uninitialised strings.
ToolRequest request(Action action, Strings folders, const std::optional<std::string>& ruleID = std::nullopt,
                    const std::optional<Strings>& files = std::nullopt,
                    std::optional<std::int64_t> days = std::nullopt) {
  ToolRequest r;
  r.action = action;
  r.folders = std::move(folders);
  if (ruleID) r.ruleID = *ruleID;
  if (files) r.files = *files;
  r.days = days;
  return r;
}

// Without and with every optional member, byte for byte; each command's
// request: the commands' tests (tests/extension).
TEST(ToolRequestTest, EncodesExactlyAndDecodesBack) {
  const struct {
    const char* name;
    ToolRequest request;
    std::string_view bytes;
  } cases[] = {
      {"Merge", request(Action::mergeFolders, {"/Users/user/Old photos", "/Users/user/New photos"}),
       R"({"action":"mergeFolders","folders":["\/Users\/user\/Old photos","\/Users\/user\/New photos"]})"},
      {"EveryFieldAndExtremeDays",
       request(Action::runRule, {}, "", Strings{}, std::numeric_limits<std::int64_t>::min()),
       R"({"action":"runRule","folders":[],"ruleID":"","files":[],"days":-9223372036854775808})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encodeToolRequest(c.request), c.bytes) << c.name;
    EXPECT_EQ(decodeToolRequest(c.bytes).value, c.request) << c.name;
  }
  // Invalid UTF-8 in any string makes the whole request unencodable.
  EXPECT_FALSE(encodeToolRequest(request(Action::flattenFolder, {"/ok", "/bad\xFF"})) ||
               encodeToolRequest(request(Action::runRule, {}, "\xC3")) ||
               encodeToolRequest(request(Action::expireFiles, {}, std::nullopt, Strings{"/x\xED\xA0\x80"})));
}

TEST(ToolRequestTest, DecodesStrictly) {
  const std::string flatten = R"({"action":"flattenFolder","folders":["/d"],)";
  const struct {
    const char* name;
    std::string input;
    std::optional<ToolRequest> expected;  // none: rejected
    std::string where = {};
    std::string whyContains = {};
  } cases[] = {
      {"NullOptionalsAreAbsentUnknownMembersIgnored",
       flatten + R"("ruleID":null,"files":null,"days":null,"Days":"x","extra":{"a":[1.5e300]}})",
       request(Action::flattenFolder, {"/d"})},
      {"AnyMemberOrderAndLargestDays", R"({"days":9223372036854775807,"files":["/f"],"folders":[],"action":"expireFiles"})",
       request(Action::expireFiles, {}, std::nullopt, Strings{"/f"}, std::numeric_limits<std::int64_t>::max())},
      {"RepeatedMemberLastCounts", flatten + R"("days":"x","days":2,"folders":["/e"]})",
       request(Action::flattenFolder, {"/e"}, std::nullopt, std::nullopt, 2)},
      {"ActionMissing", R"({"folders":[]})", std::nullopt, "", "missing required member \"action\""},
      {"ActionCaseDiffers", R"({"action":"FlattenFolder","folders":[]})", std::nullopt, "action",
       "unknown action \"FlattenFolder\" (expected one of mergeFolders, flattenFolder, runRule, "
       "expireFiles; case matters)"},
      {"FoldersMissing", R"({"action":"runRule"})", std::nullopt, "", "missing required member \"folders\""},
      {"FolderElementNumber", R"({"action":"runRule","folders":["/a",2]})", std::nullopt, "folders[1]",
       "expected a string, got a number"},
      {"DaysIntegralFraction", flatten + R"("days":7.0})", std::nullopt, "days",
       "expected an integer within the 64-bit signed range, got a number with a fraction or an exponent (7)"},
      // The number as its shortest round-trip text, fixed unless scientific is shorter.
      {"DaysTiny", flatten + R"("days":0.00001})", std::nullopt, "days", "exponent (1e-05)"},
      {"DaysSeventeenDigits", flatten + R"("days":0.30000000000000004})", std::nullopt, "days",
       "exponent (0.30000000000000004)"},
      {"DaysAboveInt64", flatten + R"("days":9223372036854775808})", std::nullopt, "days",
       "expected an integer within the 64-bit signed range, got 9223372036854775808"},
      {"DaysString", flatten + R"("days":"7"})", std::nullopt, "days", "expected an integer or null, got a string"},
  };
  for (const auto& c : cases) {
    const Decoded<ToolRequest> result = decodeToolRequest(c.input);
    EXPECT_EQ(result.value, c.expected) << c.name << ": " << result.error.where << ": " << result.error.why;
    if (!c.expected) {
      EXPECT_EQ(result.error.where, c.where) << c.name;
      EXPECT_NE(result.error.why.find(c.whyContains), std::string::npos) << c.name << ": " << result.error.why;
    }
  }
}

TEST(ToolRequestTest, WritesOnlyAnEncodedRequestAndOnlyIntoTheContainer) {
  struct CountingPlatform : FakePlatform {
    bool writeFileAtomically(const FileURL& url, std::string_view bytes) override {
      return ++writes, FakePlatform::writeFileAtomically(url, bytes);
    }
    int writes = 0;
  } platform;
  platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.test"));
  platform.containers.emplace("group.test", FileURL::fileURLWithPath("/C/group.test", true));
  const Identity identity(platform);
  const std::string path = "/C/group.test/tool-request.json";
  const ToolRequest flatten = request(Action::flattenFolder, {"/Users/user/Downloads"});
  platform.putFile(path, "previous");
  EXPECT_EQ(tryWriteToolRequest(platform, identity, request(Action::flattenFolder, {"/bad\xFF"})),
            WriteOutcome::notEncodable);
  platform.failWrites = true;
  EXPECT_EQ(tryWriteToolRequest(platform, identity, flatten), WriteOutcome::writeFailed);
  EXPECT_EQ(platform.file(path), "previous");
  platform.failWrites = false;
  EXPECT_EQ(tryWriteToolRequest(platform, identity, flatten), WriteOutcome::written);
  EXPECT_EQ(platform.file(path), encodeToolRequest(flatten));
  EXPECT_EQ(platform.writes, 2);
  platform.containers.clear();
  EXPECT_EQ(tryWriteToolRequest(platform, identity, flatten), WriteOutcome::noContainer);
  writeToolRequest(platform, identity, flatten);
  EXPECT_EQ(platform.writes, 2);
}

}  // namespace
}  // namespace ferlo
