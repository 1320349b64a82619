// Where the program runs from, and the defaults that follow from it: the
// extension bundle it lies in (if any) and the resources beside it.
#pragma once

#include <string>

#include "platform/file_url.h"

namespace ferlo::cli {

// The documented bundle URL used when the program lies in no ".appex" folder.
inline constexpr const char* kFallbackBundleURL = "file:///Applications/Ferlo.app/Contents/PlugIns/FerloFinderSync.appex/";

// The directory of the running executable (from /proc/self/exe; on macOS
// from dyld, symbolic links resolved), without a
// final "/"; empty when it cannot be found.
[[nodiscard]] std::string executableDirectory();

// The nearest folder at or above the executable's directory whose name ends
// in ".appex", as a directory URL; the fallback URL when there is none.
[[nodiscard]] FileURL defaultBundleURL();

// <exe dir>/resources when it is a directory (the build tree), else
// <exe dir>/../share/ferlo/resources when that is one (an installed
// program), else <exe dir>/resources all the same.
[[nodiscard]] std::string defaultResourcesDirectory();

// True when `path` names a directory (following symbolic links).
[[nodiscard]] bool isDirectory(const std::string& path);

}  // namespace ferlo::cli
