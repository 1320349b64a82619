#include "exchange/tool_request.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "exchange/identity.h"
#include "platform/fake/fake_platform.h"

namespace ferlo {

// Readable failure output for requests.
void PrintTo(const ToolRequest& request, std::ostream* os) {
  *os << encodeToolRequest(request).value_or("<not encodable>");
}

namespace {

using Action = ToolRequest::Action;

// ---- The five requests the extension writes, byte for byte ----

struct WorkedExample {
  const char* name;
  ToolRequest request;
  std::string_view bytes;
};

void PrintTo(const WorkedExample& c, std::ostream* os) { *os << c.name; }

class WorkedExampleTest : public testing::TestWithParam<WorkedExample> {};

TEST_P(WorkedExampleTest, EncodesExactlyAndDecodesBack) {
  EXPECT_EQ(encodeToolRequest(GetParam().request), GetParam().bytes);
  const Decoded<ToolRequest> decoded = decodeToolRequest(GetParam().bytes);
  ASSERT_TRUE(decoded) << decoded.error.where << ": " << decoded.error.why;
  EXPECT_EQ(*decoded.value, GetParam().request);
}

ToolRequest request(Action action, std::vector<std::string> folders, std::optional<std::string> ruleID = std::nullopt,
                    std::optional<std::vector<std::string>> files = std::nullopt,
                    std::optional<std::int64_t> days = std::nullopt) {
  return {action, std::move(folders), std::move(ruleID), std::move(files), days};
}

INSTANTIATE_TEST_SUITE_P(
    Table, WorkedExampleTest,
    testing::Values(
        WorkedExample{"Merge",
                      request(Action::mergeFolders, {"/Users/user/Old photos", "/Users/user/New photos"}),
                      R"({"action":"mergeFolders","folders":["\/Users\/user\/Old photos","\/Users\/user\/New photos"]})"},
        WorkedExample{"Flatten", request(Action::flattenFolder, {"/Users/user/Downloads"}),
                      R"({"action":"flattenFolder","folders":["\/Users\/user\/Downloads"]})"},
        WorkedExample{"RunRule",
                      request(Action::runRule, {"/Users/user/Downloads"}, "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"),
                      R"({"action":"runRule","folders":["\/Users\/user\/Downloads"],"ruleID":"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30"})"},
        WorkedExample{"ExpireSevenDays",
                      request(Action::expireFiles, {}, std::nullopt,
                              std::vector<std::string>{"/Users/user/Downloads/invoice.pdf",
                                                       "/Users/user/Downloads/Caf\xC3\xA9 menu.png"},
                              7),
                      "{\"action\":\"expireFiles\",\"folders\":[],\"files\":[\"\\/Users\\/user\\/Downloads\\/"
                      "invoice.pdf\",\"\\/Users\\/user\\/Downloads\\/Caf\xC3\xA9 menu.png\"],\"days\":7}"},
        WorkedExample{"ExpireKeep",
                      request(Action::expireFiles, {}, std::nullopt,
                              std::vector<std::string>{"/Users/user/Downloads/invoice.pdf"}),
                      R"({"action":"expireFiles","folders":[],"files":["\/Users\/user\/Downloads\/invoice.pdf"]})"},
        WorkedExample{"EveryFieldAndExtremeDays",
                      request(Action::runRule, {}, "", std::vector<std::string>{}, std::numeric_limits<std::int64_t>::min()),
                      R"({"action":"runRule","folders":[],"ruleID":"","files":[],"days":-9223372036854775808})"}),
    [](const testing::TestParamInfo<WorkedExample>& info) { return std::string(info.param.name); });

TEST(ToolRequestEncodeTest, InvalidUtf8AnywhereIsNotEncodable) {
  const ToolRequest cases[] = {
      request(Action::flattenFolder, {"/ok", "/bad\xFF"}),
      request(Action::runRule, {"/ok"}, "\xC3"),
      request(Action::expireFiles, {}, std::nullopt, std::vector<std::string>{"/x\xED\xA0\x80"}, 1),
  };
  for (const ToolRequest& r : cases) EXPECT_EQ(encodeToolRequest(r), std::nullopt);
}

// ---- Decoding ----

struct DecodeCase {
  const char* name;
  std::string input;
  std::optional<ToolRequest> expected;  // none: rejected
  std::string where = {};
  std::string whyContains = {};
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name << ": " << c.input; }

class DecodeToolRequestTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeToolRequestTest, AcceptsOrRejects) {
  const DecodeCase& c = GetParam();
  const Decoded<ToolRequest> result = decodeToolRequest(c.input);
  if (c.expected) {
    ASSERT_TRUE(result) << result.error.where << ": " << result.error.why;
    EXPECT_EQ(*result.value, *c.expected);
    return;
  }
  ASSERT_FALSE(result) << "accepted";
  EXPECT_EQ(result.error.where, c.where);
  EXPECT_NE(result.error.why.find(c.whyContains), std::string::npos) << result.error.why;
}

const std::string kFlatten = R"("action":"flattenFolder","folders":["/d"])";
std::string flattenWith(const std::string& member) { return "{" + kFlatten + "," + member + "}"; }

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeToolRequestTest,
    testing::Values(
        // Accepted.
        DecodeCase{"NullOptionalsAreAbsent", flattenWith(R"("ruleID":null,"files":null,"days":null)"),
                   request(Action::flattenFolder, {"/d"})},
        DecodeCase{"UnknownMembersIgnored", flattenWith(R"("Days":"x","extra":{"a":[1.5e300]})"),
                   request(Action::flattenFolder, {"/d"})},
        DecodeCase{"AnyMemberOrder", R"({"days":3,"files":["/f"],"folders":[],"action":"expireFiles"})",
                   request(Action::expireFiles, {}, std::nullopt, std::vector<std::string>{"/f"}, 3)},
        DecodeCase{"DaysLargest", flattenWith(R"("days":9223372036854775807)"),
                   request(Action::flattenFolder, {"/d"}, std::nullopt, std::nullopt,
                           std::numeric_limits<std::int64_t>::max())},
        // Rejected.
        DecodeCase{"ActionMissing", R"({"folders":[]})", std::nullopt, "", "missing required member \"action\""},
        DecodeCase{"ActionCaseDiffers", R"({"action":"FlattenFolder","folders":[]})", std::nullopt, "action",
                   "unknown action \"FlattenFolder\" (expected one of mergeFolders, flattenFolder, runRule, "
                   "expireFiles; case matters)"},
        DecodeCase{"FoldersMissing", R"({"action":"runRule"})", std::nullopt, "", "missing required member \"folders\""},
        DecodeCase{"FolderElementNumber", R"({"action":"runRule","folders":["/a",2]})", std::nullopt, "folders[1]",
                   "expected a string, got a number"},
        DecodeCase{"DaysFraction", flattenWith(R"("days":1.5)"), std::nullopt, "days",
                   "expected an integer within the 64-bit signed range"},
        // The number as its shortest round-trip text, fixed unless scientific is shorter.
        DecodeCase{"DaysIntegralFraction", flattenWith(R"("days":7.0)"), std::nullopt, "days", "exponent (7)"},
        DecodeCase{"DaysHalf", flattenWith(R"("days":7.5)"), std::nullopt, "days", "exponent (7.5)"},
        DecodeCase{"DaysHundred", flattenWith(R"("days":1e2)"), std::nullopt, "days", "exponent (100)"},
        DecodeCase{"DaysHuge", flattenWith(R"("days":1e300)"), std::nullopt, "days", "exponent (1e+300)"},
        DecodeCase{"DaysTiny", flattenWith(R"("days":0.00001)"), std::nullopt, "days", "exponent (1e-05)"},
        DecodeCase{"DaysSeventeenDigits", flattenWith(R"("days":0.30000000000000004)"), std::nullopt, "days",
                   "exponent (0.30000000000000004)"},
        DecodeCase{"DaysAboveInt64", flattenWith(R"("days":9223372036854775808)"), std::nullopt, "days",
                   "expected an integer within the 64-bit signed range, got 9223372036854775808"},
        DecodeCase{"DaysString", flattenWith(R"("days":"7")"), std::nullopt, "days",
                   "expected an integer or null, got a string"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(ToolRequestRoundTripTest, RandomRequestsDecodeEqual) {
  static const std::vector<std::string> pieces = {"/", "Users", " ", "\"", "\\", "\n", "\x01", "\xC3\xA9",
                                                  "\xE2\x80\xA8", "\xF0\x9F\x93\x81", "\x7f", "."};
  std::mt19937 generator(99);
  const auto text = [&] {
    std::string t;
    for (int n = static_cast<int>(generator() % 8); n > 0; --n) t += pieces[generator() % pieces.size()];
    return t;
  };
  const auto list = [&] {
    std::vector<std::string> l;
    for (int n = static_cast<int>(generator() % 4); n > 0; --n) l.push_back(text());
    return l;
  };
  for (int round = 0; round < 300; ++round) {
    ToolRequest r;
    r.action = static_cast<Action>(generator() % 4);
    r.folders = list();
    if (generator() % 2) r.ruleID = text();
    if (generator() % 2) r.files = list();
    if (generator() % 2) r.days = static_cast<std::int64_t>((std::uint64_t{generator()} << 32) | generator());
    const std::optional<std::string> bytes = encodeToolRequest(r);
    ASSERT_TRUE(bytes.has_value());
    const Decoded<ToolRequest> back = decodeToolRequest(*bytes);
    ASSERT_TRUE(back) << *bytes << "\n" << back.error.where << ": " << back.error.why;
    ASSERT_EQ(*back.value, r) << *bytes;
  }
}

// ---- Writing into the shared container ----

// Forwards everything to the fake and counts the writes, wherever they go.
class WriteCountingPlatform : public FakePlatform {
 public:
  bool writeFileAtomically(const FileURL& url, std::string_view bytes) override {
    ++writes;
    return FakePlatform::writeFileAtomically(url, bytes);
  }
  int writes = 0;
};

class WriteToolRequestTest : public testing::Test {
 protected:
  WriteToolRequestTest() {
    platform.infoDictionary.emplace(std::string(kAppGroupInfoKey), InfoValue::makeText("group.test"));
    platform.containers.emplace("group.test", FileURL::fileURLWithPath("/Containers/group.test", true));
  }
  static constexpr const char* kRequestPath = "/Containers/group.test/tool-request.json";
  WriteCountingPlatform platform;
  Identity identity{platform};
  ToolRequest flatten = request(Action::flattenFolder, {"/Users/user/Downloads"});
};

TEST_F(WriteToolRequestTest, WritesTheEncodedRequestAndNeverAnUnencodableOne) {
  platform.putFile(kRequestPath, "previous");
  EXPECT_EQ(tryWriteToolRequest(platform, identity, request(Action::flattenFolder, {"/bad\xFF"})),
            WriteOutcome::notEncodable);
  EXPECT_EQ(platform.file(kRequestPath), "previous");
  EXPECT_EQ(tryWriteToolRequest(platform, identity, flatten), WriteOutcome::written);
  EXPECT_EQ(platform.file(kRequestPath), encodeToolRequest(flatten));
  EXPECT_EQ(platform.writes, 1);
}

TEST_F(WriteToolRequestTest, NoContainerWritesNothingAnywhere) {
  platform.containers.clear();
  EXPECT_EQ(tryWriteToolRequest(platform, identity, flatten), WriteOutcome::noContainer);
  writeToolRequest(platform, identity, flatten);
  EXPECT_EQ(platform.writes, 0);
}

TEST_F(WriteToolRequestTest, FailedWriteLeavesThePreviousFileByteForByte) {
  platform.putFile(kRequestPath, "previous bytes\n");
  platform.failWrites = true;
  EXPECT_EQ(tryWriteToolRequest(platform, identity, flatten), WriteOutcome::writeFailed);
  writeToolRequest(platform, identity, flatten);
  EXPECT_EQ(platform.file(kRequestPath), "previous bytes\n");
}

}  // namespace
}  // namespace ferlo
