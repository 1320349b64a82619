#include "exchange/shared_container.h"

namespace ferlo {

std::optional<FileURL> sharedContainerURL(Platform& platform, const Identity& identity) {
  return platform.containerURLForSecurityApplicationGroupIdentifier(identity.appGroupIdentifier());
}

}  // namespace ferlo
