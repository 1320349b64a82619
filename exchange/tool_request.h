// ToolRequest: the one message the extension sends to the host application,
// written as "tool-request.json" in the shared container.
//
// Encoding is byte-exact: compact, members in field order (action, folders,
// ruleID, files, days), absent optionals left out, "/" written as "\/",
// non-ASCII written as UTF-8, '"' and '\' escaped, control characters as
// \b \f \n \r \t or \u00XX (lower-case hex).
//   {"action":"flattenFolder","folders":["\/Users\/user\/Downloads"]}
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"
#include "exchange/identity.h"
#include "platform/platform.h"

namespace ferlo {

struct ToolRequest {
  enum class Action { mergeFolders, flattenFolder, runRule, expireFiles };
  enum class CodingKeys { action, folders, ruleID, files, days };

  Action action = Action::flattenFolder;
  std::vector<std::string> folders;
  std::optional<std::string> ruleID;
  std::optional<std::vector<std::string>> files;
  std::optional<std::int64_t> days;

  friend bool operator==(const ToolRequest&, const ToolRequest&) = default;
};

[[nodiscard]] std::string_view actionText(ToolRequest::Action action);
// The action whose text is exactly `text` (case included), or none.
[[nodiscard]] std::optional<ToolRequest::Action> actionForText(std::string_view text);
[[nodiscard]] std::string_view codingKeyText(ToolRequest::CodingKeys key);

// The request's JSON bytes, or none when a string in it is not valid UTF-8
// (such a request cannot be encoded, and is never written).
[[nodiscard]] std::optional<std::string> encodeToolRequest(const ToolRequest& request);

// Strict decoding, for the host's side of the format and for tests. The text
// is validated whole as for the rule manifest (UTF-8, no lone surrogate
// escapes, at most 1024 levels of nesting); of a repeated member name the
// last occurrence counts. "days" must be an integer token within the signed
// 64-bit range: fractions and exponents ("7.0", "7e0") are refused.
[[nodiscard]] Decoded<ToolRequest> decodeToolRequest(std::string_view bytes);

enum class WriteOutcome { written, noContainer, notEncodable, writeFailed };

// Writes the request atomically over "tool-request.json" in the shared
// container and says what happened. On anything but `written` a previous
// request file is left byte for byte as it was.
WriteOutcome tryWriteToolRequest(Platform& platform, const Identity& identity, const ToolRequest& request);

// The extension's write: as above, with the outcome dropped; no failure
// reaches the caller.
void writeToolRequest(Platform& platform, const Identity& identity, const ToolRequest& request);

}  // namespace ferlo
