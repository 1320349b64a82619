#include "extension/finder_sync.h"

#include "extension/command_table.h"
#include "extension/commands.h"
#include "extension/menu_builder.h"

namespace ferlo {
namespace {

constexpr std::string_view kToolbarText = "Ferlo";  // the brand, never translated

}  // namespace

FinderSync::FinderSync(ExtensionContext& context) : context_(context) {
  Platform& platform = context_.platform();
  // The user database comes first: inside the sandbox the platform's home
  // directory is the container's, not the user's, and the menus must apply
  // throughout the real home directory. An empty home field names no
  // directory at all (as a path it would become "/", the whole disk), so it
  // counts as no entry.
  std::optional<std::string> home = platform.homeDirectoryOfRealUser();
  FileURL watched = home && !home->empty() ? FileURL::fileURLWithPath(*home, true)
                                           : platform.homeDirectoryForCurrentUser();
  platform.setDirectoryURLs({std::move(watched)});
}

std::string FinderSync::toolbarItemName() const { return std::string(kToolbarText); }

std::string FinderSync::toolbarItemToolTip() const { return std::string(kToolbarText); }

Menu FinderSync::menuForMenuKind(std::uint64_t kind) { return buildMenu(kind, context_); }

void FinderSync::runRule(const Sender& sender) { commands::runRule(context_, sender); }

void FinderSync::runFlatten(const Sender& /*sender*/) { commands::runFlatten(context_); }

void FinderSync::runMergeSelected(const Sender& /*sender*/) { commands::runMergeSelected(context_); }

void FinderSync::setExpiry(const Sender& sender) { commands::setExpiry(context_, sender); }

void FinderSync::perform(Selector selector, const Sender& sender) {
  // An item without an action sends nothing.
  if (const MenuCommand* command = menuCommandFor(selector)) command->run(context_, sender);
}

}  // namespace ferlo
