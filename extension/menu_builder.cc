#include "extension/menu_builder.h"

#include <memory>
#include <optional>
#include <vector>

#include "exchange/rule_manifest.h"
#include "extension/command_table.h"
#include "extension/expiry_menu.h"
#include "extension/menu_texts.h"
#include "extension/selection.h"

namespace ferlo {
namespace {

constexpr std::string_view kBrandTitle = "Ferlo";  // the brand, never translated

}  // namespace

MenuItem makeSectionHeader(std::string text, Platform& platform) {
  MenuItem item;
  item.attributedTitle = AttributedTitle{platform.uppercasedWithCurrentLocale(text)};
  item.title = std::move(text);
  item.enabled = false;
  return item;
}

bool hostApplicationRuns(const ExtensionContext& context) {
  return context.platform().runningApplicationsWithBundleIdentifier(context.identity().hostBundleIdentifier()) > 0;
}

Menu buildMenu(std::uint64_t kind, const ExtensionContext& context) {
  Menu menu;  // title ""
  if (!menuKindGetsEntry(kind) || !hostApplicationRuns(context)) return menu;

  Platform& platform = context.platform();

  std::optional<RuleManifest> manifest = loadRuleManifest(platform, context.identity());
  if (!manifest) return menu;
  const SelectionOffer offer = offerOf(readSelection(platform), watchedRootsOf(manifest));

  MenuItem root;
  root.title = std::string(kBrandTitle);
  root.image = context.brandGlyphImage();

  auto submenu = std::make_shared<Menu>();
  submenu->title = std::string(kBrandTitle);
  std::vector<MenuItem>& items = submenu->items;

  // Headers, flatten, merge and expiry besides the rules: one allocation for
  // the whole list, not a move of every item each time it grows.
  items.reserve(manifest->rules.size() + 6);
  items.push_back(makeSectionHeader(platform.localizedString(menuTextKey(MenuText::sectionRules)), platform));
  if (manifest->rules.empty()) {
    MenuItem none;
    none.title = platform.localizedString(menuTextKey(MenuText::rulesEmpty));
    none.enabled = false;
    items.push_back(std::move(none));
  }
  RuleItemTags::Batch tags = context.ruleItemTags().begin(manifest->rules.size());
  for (RuleManifest::Rule& rule : manifest->rules) {
    MenuItem& item = items.emplace_back();
    // The represented object names the rule for a sender that is this very
    // item; the tag names it for the copy of the item that the Finder sends.
    item.tag = tags.add(rule.id, rule.name);
    // The manifest is this build's own and its names are not needed again:
    // each moves into its item instead of being copied.
    item.title = std::move(rule.name);
    item.action = Selector::runRule;
    item.targetsPrincipal = true;
    item.representedObject = rule.id.uuidString();
  }
  context.ruleItemTags().record(std::move(tags));

  items.push_back(makeSectionHeader(platform.localizedString(menuTextKey(MenuText::sectionActions)), platform));

  MenuItem flatten;
  flatten.title = platform.localizedString(menuTextKey(MenuText::flatten));
  flatten.action = Selector::runFlatten;
  flatten.targetsPrincipal = true;
  items.push_back(std::move(flatten));

  if (offers(offer, Selector::runMergeSelected)) {
    MenuItem merge;
    merge.title = platform.localizedStringWithFormat(menuTextKey(MenuText::merge),
                                                     static_cast<std::int64_t>(offer.folders.size()));
    merge.action = Selector::runMergeSelected;
    merge.targetsPrincipal = true;
    items.push_back(std::move(merge));
  }

  if (offers(offer, Selector::setExpiry)) {
    items.push_back(makeExpiryItem(static_cast<std::int64_t>(offer.files.size()), context));
  }

  root.submenu = std::move(submenu);
  menu.items.push_back(std::move(root));
  return menu;
}

}  // namespace ferlo
