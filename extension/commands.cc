#include "extension/commands.h"

#include <optional>
#include <string>
#include <vector>

#include "exchange/rule_manifest.h"
#include "exchange/tool_request.h"
#include "extension/handoff.h"
#include "extension/selection.h"

namespace ferlo::commands {
namespace {

// The two steps every command ends with once its guard has passed. The write
// returns only when it has ended, so the host never starts before the file
// it is meant to read is in place; the hand-off follows even when nothing
// was written, so the user's click always brings the host forward.
void submit(const ExtensionContext& context, const ToolRequest& request) {
  writeToolRequest(context.platform(), context.identity(), request);
  openHostApplication(context.platform());
}

std::vector<std::string> pathsOf(const std::vector<FileURL>& urls) {
  std::vector<std::string> paths;
  paths.reserve(urls.size());
  for (const FileURL& url : urls) paths.push_back(url.path());
  return paths;
}

}  // namespace

void runRule(const ExtensionContext& context, const Sender& sender) {
  std::string ruleID;
  switch (sender.objectKind) {
    case Sender::ObjectKind::string:
      ruleID = sender.objectString;
      break;
    case Sender::ObjectKind::other:
      return;
    case Sender::ObjectKind::none: {
      // Unresolved means not certain: a wrong rule run is worse than none.
      if (!sender.title) return;
      std::optional<Uuid> id = context.ruleItemTags().resolve(sender.tag, *sender.title);
      if (!id) return;
      ruleID = id->uuidString();
      break;
    }
  }
  std::optional<FileURL> target = targetFolderURL(context.platform());
  if (!target) return;
  ToolRequest request;
  request.action = ToolRequest::Action::runRule;
  request.folders = {target->path()};
  request.ruleID = std::move(ruleID);
  submit(context, request);
}

void runFlatten(const ExtensionContext& context) {
  std::optional<FileURL> target = targetFolderURL(context.platform());
  if (!target) return;
  ToolRequest request;
  request.action = ToolRequest::Action::flattenFolder;
  request.folders = {target->path()};
  submit(context, request);
}

void runMergeSelected(const ExtensionContext& context) {
  std::vector<FileURL> folders = selectedFolderURLs(context.platform());
  if (folders.size() < 2) return;
  ToolRequest request;
  request.action = ToolRequest::Action::mergeFolders;
  request.folders = pathsOf(folders);
  submit(context, request);
}

void setExpiry(const ExtensionContext& context, const Sender& sender) {
  std::vector<std::string> roots;
  if (std::optional<RuleManifest> manifest = loadRuleManifest(context.platform(), context.identity())) {
    if (manifest->watchedRoots) roots = std::move(*manifest->watchedRoots);
  }
  std::vector<FileURL> files = selectedFileURLs(context.platform(), roots);
  if (files.empty()) return;
  ToolRequest request;
  request.action = ToolRequest::Action::expireFiles;
  request.files = pathsOf(files);
  if (sender.tag >= 1) request.days = sender.tag;
  submit(context, request);
}

}  // namespace ferlo::commands
