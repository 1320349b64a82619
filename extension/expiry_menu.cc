#include "extension/expiry_menu.h"

#include <memory>

#include "extension/menu_texts.h"

namespace ferlo {

MenuItem makeExpiryItem(std::int64_t fileCount, const ExtensionContext& context) {
  Platform& platform = context.platform();
  MenuItem item;
  item.title = fileCount == 1 ? platform.localizedString(menuTextKey(MenuText::expiryTitle))
                              : platform.localizedStringWithFormat(menuTextKey(MenuText::expiryTitleMany), fileCount);

  auto submenu = std::make_shared<Menu>();
  for (std::int64_t days : context.expiryDayChoices()) {
    MenuItem choice;
    choice.title = platform.localizedStringWithFormat(menuTextKey(MenuText::expiryDays), days);
    choice.action = Selector::setExpiry;
    choice.targetsPrincipal = true;
    choice.tag = days;
    submenu->items.push_back(std::move(choice));
  }
  submenu->items.push_back(MenuItem::separatorItem());

  MenuItem keep;
  keep.title = platform.localizedString(menuTextKey(MenuText::expiryKeep));
  keep.action = Selector::setExpiry;
  keep.targetsPrincipal = true;
  keep.tag = 0;  // no number of days: the command writes no "days"
  submenu->items.push_back(std::move(keep));

  item.submenu = std::move(submenu);
  return item;
}

}  // namespace ferlo
