#include "extension/handoff.h"

namespace ferlo {

FileURL hostApplicationURL(Platform& platform) {
  return platform.bundleURL().deletingLastPathComponent().deletingLastPathComponent().deletingLastPathComponent();
}

void openHostApplication(Platform& platform) { platform.openApplicationAtURL(hostApplicationURL(platform), true); }

}  // namespace ferlo
