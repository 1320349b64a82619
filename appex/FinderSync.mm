#import "appex/FinderSync.h"

#include <cstdint>
#include <mutex>
#include <optional>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#import "platform/macos/foundation_text.h"
#include "platform/macos/mac_platform.h"
#import "appex/menu_renderer.h"
#import "appex/sender_conversion.h"

namespace {

#pragma mark - Process context

// The extension process's one context: the platform and the values computed
// once per process. The C++ principal object keeps nothing but a reference
// to it, so one instance serves every Objective-C principal object.
struct ProcessContext {
  ferlo::MacPlatform platform;
  ferlo::ExtensionContext context{platform};
  std::once_flag principalOnce;
  std::optional<ferlo::FinderSync> principal;
};

ProcessContext& processContext() {
  // Made at first use, thread-safely; never destroyed, since the Finder may
  // still call in while the process exits.
  static ProcessContext* const instance = new ProcessContext();
  return *instance;
}

// Making the core principal object is what registers the home directory.
// Returns whether this call made it.
bool makePrincipalOnce(ProcessContext& process) {
  bool made = false;
  std::call_once(process.principalOnce, [&] {
    process.principal.emplace(process.context);
    made = true;
  });
  return made;
}

ferlo::FinderSync& principal() {
  ProcessContext& process = processContext();
  makePrincipalOnce(process);
  return *process.principal;
}

}  // namespace

@implementation FinderSync

#pragma mark - Initialisation

- (instancetype)init {
  self = [super init];
  if (self != nil) {
    ProcessContext& process = processContext();
    // The first init registers by making the shared core object; any later
    // one registers again with a short-lived one, so that every init
    // leaves the Finder watching the home directory.
    if (!makePrincipalOnce(process)) ferlo::FinderSync registration(process.context);
  }
  return self;
}

#pragma mark - Toolbar item

- (NSString*)toolbarItemName {
  return ferlo::toNSString(principal().toolbarItemName());
}

- (NSString*)toolbarItemToolTip {
  return ferlo::toNSString(principal().toolbarItemToolTip());
}

#pragma mark - Menu

- (NSMenu*)menuForMenuKind:(FIMenuKind)menuKind {
  ferlo::Menu menu = principal().menuForMenuKind(static_cast<std::uint64_t>(menuKind));
  return ferlo::renderMenu(menu, self);
}

#pragma mark - Commands

- (IBAction)runRule:(id)sender {
  principal().runRule(ferlo::senderFromObject(sender));
}

- (IBAction)runFlatten:(id)sender {
  principal().runFlatten(ferlo::senderFromObject(sender));
}

- (IBAction)runMergeSelected:(id)sender {
  principal().runMergeSelected(ferlo::senderFromObject(sender));
}

- (IBAction)setExpiry:(id)sender {
  principal().setExpiry(ferlo::senderFromObject(sender));
}

@end
