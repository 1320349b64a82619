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

bool offersTargetFolder(const SelectionOffer& offer) { return offer.targetFolder.has_value(); }
bool offersMerge(const SelectionOffer& offer) { return offer.folders.size() >= 2; }
bool offersExpiry(const SelectionOffer& offer) { return !offer.files.empty(); }

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
  const SelectionOffer offer = offerOf(readSelection(context.platform()), {});
  if (!offersTargetFolder(offer)) return;
  ToolRequest request;
  request.action = ToolRequest::Action::runRule;
  request.folders = {offer.targetFolder->path()};
  request.ruleID = std::move(ruleID);
  submit(context, request);
}

void runFlatten(const ExtensionContext& context) {
  const SelectionOffer offer = offerOf(readSelection(context.platform()), {});
  if (!offersTargetFolder(offer)) return;
  ToolRequest request;
  request.action = ToolRequest::Action::flattenFolder;
  request.folders = {offer.targetFolder->path()};
  submit(context, request);
}

void runMergeSelected(const ExtensionContext& context) {
  const SelectionOffer offer = offerOf(readSelection(context.platform()), {});
  if (!offersMerge(offer)) return;
  ToolRequest request;
  request.action = ToolRequest::Action::mergeFolders;
  request.folders = pathsOf(offer.folders);
  submit(context, request);
}

void setExpiry(const ExtensionContext& context, const Sender& sender) {
  const std::optional<RuleManifest> manifest = loadRuleManifest(context.platform(), context.identity());
  const std::vector<std::string>& roots = watchedRootsOf(manifest);
  // No file lies under no root: the Finder need not be asked.
  if (roots.empty()) return;
  const SelectionOffer offer = offerOf(readSelection(context.platform()), roots);
  if (!offersExpiry(offer)) return;
  ToolRequest request;
  request.action = ToolRequest::Action::expireFiles;
  request.files = pathsOf(offer.files);
  if (sender.tag >= 1) request.days = sender.tag;
  submit(context, request);
}

}  // namespace ferlo::commands
