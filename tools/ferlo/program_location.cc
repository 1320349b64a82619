#include "tools/ferlo/program_location.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include <cstdint>
#include <string_view>

namespace ferlo::cli {

std::string executableDirectory() {
#if defined(__APPLE__)
  // No /proc on macOS: dyld's path of the executable, symbolic links resolved.
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::string path(size, '\0');
  char resolved[PATH_MAX];
  if (_NSGetExecutablePath(path.data(), &size) != 0 || ::realpath(path.c_str(), resolved) == nullptr) return {};
  std::string buffer = resolved;
#else
  std::string buffer(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
#endif
  const auto slash = buffer.rfind('/');
  if (slash == std::string::npos) return {};
  buffer.resize(slash == 0 ? 1 : slash);
  return buffer;
}

FileURL defaultBundleURL() {
  std::string dir = executableDirectory();
  while (dir.size() > 1) {
    const auto slash = dir.rfind('/');
    const std::string_view name = std::string_view(dir).substr(slash + 1);
    if (name.size() > 6 && name.ends_with(".appex")) return FileURL::fileURLWithPath(dir, true);
    dir.resize(slash == 0 ? 1 : slash);
  }
  return *FileURL::fromString(kFallbackBundleURL);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string defaultResourcesDirectory() {
  const std::string exeDir = executableDirectory();
  const std::string beside = exeDir + "/resources";
  if (isDirectory(beside)) return beside;
  const std::string installed = exeDir + "/../share/ferlo/resources";
  if (isDirectory(installed)) return installed;
  return beside;
}

}  // namespace ferlo::cli
