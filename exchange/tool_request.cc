#include "exchange/tool_request.h"

#include <array>

#include <simdjson.h>

#include "exchange/json_document.h"
#include "exchange/json_writer.h"
#include "exchange/shared_container.h"

namespace ferlo {

namespace jd = json_document;
namespace dom = simdjson::dom;

namespace {

struct ActionName {
  ToolRequest::Action action;
  std::string_view text;
};

constexpr std::array<ActionName, 4> kActionNames = {{
    {ToolRequest::Action::mergeFolders, "mergeFolders"},
    {ToolRequest::Action::flattenFolder, "flattenFolder"},
    {ToolRequest::Action::runRule, "runRule"},
    {ToolRequest::Action::expireFiles, "expireFiles"},
}};

constexpr std::string_view kActionKey = "action";
constexpr std::string_view kFoldersKey = "folders";
constexpr std::string_view kRuleIdKey = "ruleID";
constexpr std::string_view kFilesKey = "files";
constexpr std::string_view kDaysKey = "days";

}  // namespace

std::string_view actionText(ToolRequest::Action action) {
  for (const ActionName& name : kActionNames) {
    if (name.action == action) return name.text;
  }
  return {};
}

std::optional<ToolRequest::Action> actionForText(std::string_view text) {
  for (const ActionName& name : kActionNames) {
    if (name.text == text) return name.action;
  }
  return std::nullopt;
}

std::string_view codingKeyText(ToolRequest::CodingKeys key) {
  switch (key) {
    case ToolRequest::CodingKeys::action: return kActionKey;
    case ToolRequest::CodingKeys::folders: return kFoldersKey;
    case ToolRequest::CodingKeys::ruleID: return kRuleIdKey;
    case ToolRequest::CodingKeys::files: return kFilesKey;
    case ToolRequest::CodingKeys::days: return kDaysKey;
  }
  return {};
}

std::optional<std::string> encodeToolRequest(const ToolRequest& request) {
  JsonWriter writer;  // refuses invalid UTF-8
  writer.beginObject();
  writer.key(kActionKey);
  writer.string(actionText(request.action));
  writer.key(kFoldersKey);
  writer.beginArray();
  for (const std::string& folder : request.folders) writer.string(folder);
  writer.endArray();
  if (request.ruleID) {
    writer.key(kRuleIdKey);
    writer.string(*request.ruleID);
  }
  if (request.files) {
    writer.key(kFilesKey);
    writer.beginArray();
    for (const std::string& file : *request.files) writer.string(file);
    writer.endArray();
  }
  if (request.days) {
    writer.key(kDaysKey);
    writer.integer(*request.days);
  }
  writer.endObject();
  return writer.finish();
}

namespace {

std::string unknownActionProblem(std::string_view text) {
  std::string why = "unknown action " + jd::quoted(text) + " (expected one of ";
  for (std::size_t i = 0; i < kActionNames.size(); ++i) {
    if (i > 0) why += ", ";
    why += kActionNames[i].text;
  }
  why += "; case matters)";
  return why;
}

// "days": an integer token within the signed 64-bit range. simdjson keeps a
// token with a fraction or an exponent as a double, and an integer above
// INT64_MAX as an unsigned one; both are refused here.
bool decodeDays(dom::element value, std::int64_t& days, DecodeError& error) {
  constexpr std::string_view kExpected = "expected an integer within the 64-bit signed range";
  if (!value.get(days)) return true;
  std::uint64_t unsignedValue = 0;
  double doubleValue = 0;
  if (!value.get(unsignedValue)) {
    error = {std::string(kDaysKey), std::string(kExpected) + ", got " + std::to_string(unsignedValue)};
  } else if (!value.get(doubleValue)) {
    error = {std::string(kDaysKey), std::string(kExpected) + ", got a number with a fraction or an exponent (" +
                                        shortestDecimalText(doubleValue) + ")"};
  } else {
    error = {std::string(kDaysKey), jd::expectedGot("an integer or null", value)};
  }
  return false;
}

Decoded<ToolRequest> decodeRoot(dom::element root) {
  Decoded<ToolRequest> result;
  DecodeError& error = result.error;
  dom::object top;
  if (root.get(top)) {
    error = {"", "the top level must be an object, got " + std::string(jd::describe(root))};
    return result;
  }
  // Each member is looked at once; of a repeated name the last occurrence
  // counts, and members that map to no key are ignored whatever they hold.
  enum Slot { kAction, kFolders, kRuleId, kFiles, kDays, kSlotCount };
  std::array<dom::element, kSlotCount> values;
  std::array<bool, kSlotCount> present{};
  for (const dom::key_value_pair field : top) {
    Slot slot;
    if (field.key == kActionKey) {
      slot = kAction;
    } else if (field.key == kFoldersKey) {
      slot = kFolders;
    } else if (field.key == kRuleIdKey) {
      slot = kRuleId;
    } else if (field.key == kFilesKey) {
      slot = kFiles;
    } else if (field.key == kDaysKey) {
      slot = kDays;
    } else {
      continue;
    }
    values[slot] = field.value;
    present[slot] = true;
  }

  ToolRequest request;
  if (!present[kAction]) {
    error = {"", jd::missingMember(kActionKey)};
    return result;
  }
  std::string_view action;
  if (values[kAction].get(action)) {
    error = {std::string(kActionKey), jd::expectedGot("a string", values[kAction])};
    return result;
  }
  const std::optional<ToolRequest::Action> known = actionForText(action);
  if (!known) {
    error = {std::string(kActionKey), unknownActionProblem(action)};
    return result;
  }
  request.action = *known;

  if (!present[kFolders]) {
    error = {"", jd::missingMember(kFoldersKey)};
    return result;
  }
  if (!jd::readStringArray(values[kFolders], kFoldersKey, "an array of strings", request.folders, error)) {
    return result;
  }

  if (present[kRuleId] && !values[kRuleId].is_null()) {
    std::string_view ruleID;
    if (values[kRuleId].get(ruleID)) {
      error = {std::string(kRuleIdKey), jd::expectedGot("a string or null", values[kRuleId])};
      return result;
    }
    request.ruleID.emplace(ruleID);
  }

  if (present[kFiles] && !values[kFiles].is_null()) {
    request.files.emplace();
    if (!jd::readStringArray(values[kFiles], kFilesKey, "an array of strings or null", *request.files, error)) {
      return result;
    }
  }

  if (present[kDays] && !values[kDays].is_null()) {
    std::int64_t days = 0;
    if (!decodeDays(values[kDays], days, error)) return result;
    request.days = days;
  }

  result.value = std::move(request);
  return result;
}

}  // namespace

Decoded<ToolRequest> decodeToolRequest(std::string_view bytes) {
  dom::parser parser;
  dom::element root;
  Decoded<ToolRequest> result;
  if (!jd::parseDocument(parser, bytes, root, result.error)) return result;
  return decodeRoot(root);
}

WriteOutcome tryWriteToolRequest(Platform& platform, const Identity& identity, const ToolRequest& request) {
  const std::optional<FileURL> container = sharedContainerURL(platform, identity);
  if (!container) return WriteOutcome::noContainer;
  const std::optional<std::string> bytes = encodeToolRequest(request);
  if (!bytes) return WriteOutcome::notEncodable;
  if (!platform.writeFileAtomically(container->appendingPathComponent(kRequestFileName), *bytes)) {
    return WriteOutcome::writeFailed;
  }
  return WriteOutcome::written;
}

void writeToolRequest(Platform& platform, const Identity& identity, const ToolRequest& request) {
  // The extension goes on to the hand-off whatever happened; there is no one
  // to tell.
  (void)tryWriteToolRequest(platform, identity, request);
}

}  // namespace ferlo
