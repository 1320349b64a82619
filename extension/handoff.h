// The hand-off: launch the host application, or bring it to the front when it
// already runs, so that it picks up the request just written.
#pragma once

#include "platform/file_url.h"
#include "platform/platform.h"

namespace ferlo {

// The host application's bundle: the extension's bundle URL with its last
// path component removed three times (the extension lies in the host's
// Contents/PlugIns, or any two folders below it).
//   /a/H.app/b/c/E.appex/ -> /a/H.app/
[[nodiscard]] FileURL hostApplicationURL(Platform& platform);

// Opens the host application at hostApplicationURL with `activates` true,
// whether or not it is running, and returns at once; nothing is observed of
// the outcome. Every call opens once: calls are never merged.
void openHostApplication(Platform& platform);

}  // namespace ferlo
