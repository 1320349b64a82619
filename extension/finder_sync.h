// FinderSync: the principal object. Every call the Finder makes on the
// extension arrives here; the object holds no state of its own beyond the
// process context it works in.
#pragma once

#include <cstdint>
#include <string>

#include "extension/extension_context.h"
#include "extension/menu.h"
#include "extension/sender.h"

namespace ferlo {

class FinderSync {
 public:
  // init: registers the user's home directory (the user database's entry
  // for the real user id first, the platform's home directory otherwise) as
  // the one directory the extension's menus apply to.
  explicit FinderSync(ExtensionContext& context);

  [[nodiscard]] std::string toolbarItemName() const;     // "Ferlo"
  [[nodiscard]] std::string toolbarItemToolTip() const;  // "Ferlo"

  // The menu for a menu kind (0 items, 1 container, 2 sidebar, 3 toolbar);
  // never absent, empty when there is nothing to offer.
  [[nodiscard]] Menu menuForMenuKind(std::uint64_t kind);

  // The menu commands; each either stops at its guard or writes a request
  // and hands off to the host application once.
  void runRule(const Sender& sender);
  void runFlatten(const Sender& sender);
  void runMergeSelected(const Sender& sender);
  void setExpiry(const Sender& sender);

  // Delivers `selector` as the Finder's message dispatch would: runs the
  // command of its row in kMenuCommands; nothing for none.
  void perform(Selector selector, const Sender& sender);

 private:
  ExtensionContext& context_;
};

}  // namespace ferlo
