// The four menu commands (kMenuCommands lists them). Each takes one reading
// of the selection of its own and tests its guard on it (below; the menu's
// earlier view of the selection counts for nothing),
// fills one ToolRequest, has it written as "tool-request.json" and then hands
// off to the host application, written or not. A command stopped by its
// guard writes nothing and hands off nothing. Paths are FileURL::path().
#pragma once

#include "extension/extension_context.h"
#include "extension/selection.h"
#include "extension/sender.h"

namespace ferlo::commands {

// The guards: whether a selection offers a command. runRule: and runFlatten:
// need a target folder, runMergeSelected: two or more selected folders,
// setExpiry: a selected file under a watched root.
[[nodiscard]] bool offersTargetFolder(const SelectionOffer& offer);
[[nodiscard]] bool offersMerge(const SelectionOffer& offer);
[[nodiscard]] bool offersExpiry(const SelectionOffer& offer);

// The rule is the sender's represented object when it is a string, taken as
// it is. A sender without a represented object (the Finder's copy of the
// item) names its rule by its tag and title, which must be those of a rule
// item this process showed; the rule is that item's id. Stops when the
// represented object is something else, when the tag and title name no rule
// item, or when there is no target folder; then {runRule, [target], ruleID}.
void runRule(const ExtensionContext& context, const Sender& sender);

// Stops without a target folder; then {flattenFolder, [target]}.
void runFlatten(const ExtensionContext& context);

// Stops with fewer than two selected folders; then {mergeFolders, [folders
// in selection order]}.
void runMergeSelected(const ExtensionContext& context);

// Reads the manifest for its watched roots (none or absent: no roots, and it
// stops before reading the selection) and stops unless some selected file
// lies under one; then {expireFiles, [], files, days: the sender's tag when
// it is 1 or more, else left out}.
void setExpiry(const ExtensionContext& context, const Sender& sender);

}  // namespace ferlo::commands
