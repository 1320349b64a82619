#include "platform/stand_in/posix_platform.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/stand_in/localizer.h"
#include "platform/stand_in/png_size.h"
#include "platform/files/file_io.h"

namespace ferlo {
namespace {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// The home field of the real user's entry. getpwuid_r, not getpwuid: the
// extension's calls may come from several threads at once.
std::optional<std::string> passwordHome() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::size_t size = suggested > 0 ? static_cast<std::size_t>(suggested) : 1024;
  constexpr std::size_t kMaxBuffer = 1 << 20;
  for (;;) {
    std::string buffer(size, '\0');
    passwd entry{};
    passwd* result = nullptr;
    int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result);
    if (error == ERANGE && size < kMaxBuffer) {
      size *= 2;
      continue;
    }
    if (error == EINTR) continue;
    if (error != 0 || result == nullptr || result->pw_dir == nullptr) return std::nullopt;
    return std::string(result->pw_dir);
  }
}

// A group identifier names one directory below the root, nothing else.
bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string defaultGroupContainersRoot() {
  if (auto root = environmentValue("FERLO_GROUP_CONTAINERS")) return *root;
  std::string dataHome;
  // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base
  // directory rules ask.
  if (auto xdg = environmentValue("XDG_DATA_HOME"); xdg && xdg->front() == '/') {
    dataHome = *xdg;
  } else if (auto home = environmentValue("HOME")) {
    dataHome = *home + "/.local/share";
  } else if (auto pwHome = passwordHome(); pwHome && !pwHome->empty()) {
    dataHome = *pwHome + "/.local/share";
  } else {
    return {};
  }
  return dataHome + "/ferlo/group-containers";
}

PosixPlatform::PosixPlatform(PosixPlatformConfig config)
    : config_(std::move(config)),
      localizer_(std::make_unique<Localizer>(config_.resourcesDirectory, config_.locale)) {}

PosixPlatform::~PosixPlatform() = default;

std::vector<FileURL> PosixPlatform::directoryURLs() const {
  std::lock_guard lock(mutex_);
  return directoryURLs_;
}

std::vector<PosixPlatform::OpenRecord> PosixPlatform::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

std::vector<PosixPlatform::WriteRecord> PosixPlatform::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::optional<InfoValue> PosixPlatform::objectForInfoDictionaryKey(std::string_view key) {
  auto it = config_.infoDictionary.find(key);
  if (it == config_.infoDictionary.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> PosixPlatform::bundleIdentifier() { return config_.bundleIdentifier; }

FileURL PosixPlatform::bundleURL() { return config_.bundleURL; }

std::optional<FileURL> PosixPlatform::containerURLForSecurityApplicationGroupIdentifier(std::string_view group) {
  // Only an absolute root: a relative one would name a different place
  // depending on the working directory of whoever runs us.
  const std::string& root = config_.groupContainersRoot;
  if (root.empty() || root.front() != '/' || root.find('\0') != std::string::npos) return std::nullopt;
  if (!isPlainName(group)) return std::nullopt;
  std::string path = root;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.back() != '/') path.push_back('/');
  path.append(group);
  if (!isDirectory(path)) return std::nullopt;
  return FileURL::fileURLWithPath(path, true);
}

FileURL PosixPlatform::homeDirectoryForCurrentUser() { return FileURL::fileURLWithPath(config_.platformHome, true); }

std::optional<std::string> PosixPlatform::readWholeFile(const FileURL& url) { return readRegularFile(url.path()).value; }

bool PosixPlatform::writeFileAtomically(const FileURL& url, std::string_view bytes) {
  WriteRecord record{url, false, {}};
  const std::string path = url.path();
  const std::size_t slash = path.rfind('/');
  // A directory URL names no file to replace.
  if (url.hasDirectoryPath() || slash == std::string::npos) {
    record.whyNot = "not the URL of a file";
  } else {
    const std::string directory = slash == 0 ? std::string("/") : path.substr(0, slash);
    record.written = ferlo::writeFileAtomically(directory, std::string_view(path).substr(slash + 1), bytes,
                                                realFileCalls(), &record.whyNot);
  }
  const bool written = record.written;
  std::lock_guard lock(mutex_);
  writes_.push_back(std::move(record));
  return written;
}

std::optional<std::string> PosixPlatform::homeDirectoryOfRealUser() {
  if (config_.noUserEntry) return std::nullopt;
  if (config_.userHomeOverride) return config_.userHomeOverride;
  return passwordHome();
}

void PosixPlatform::setDirectoryURLs(std::vector<FileURL> urls) {
  std::lock_guard lock(mutex_);
  directoryURLs_ = std::move(urls);
}

std::optional<std::vector<FileURL>> PosixPlatform::selectedItemURLs() { return config_.selectedItemURLs; }

std::optional<FileURL> PosixPlatform::targetedURL() { return config_.targetedURL; }

std::uint64_t PosixPlatform::processIdentifier() {
  return config_.processIdentifier ? *config_.processIdentifier : static_cast<std::uint64_t>(::getpid());
}

std::size_t PosixPlatform::runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) {
  // No application has an empty bundle identifier, whatever was registered.
  if (bundleIdentifier.empty()) return 0;
  return config_.runningBundleIdentifiers.count(bundleIdentifier);
}

void PosixPlatform::openApplicationAtURL(const FileURL& url, bool activates) {
  {
    std::lock_guard lock(mutex_);
    opens_.push_back({url, activates});
  }
  // Outside the lock: the callback may well ask for opens().
  if (config_.onOpen) config_.onOpen(url, activates);
}

std::string PosixPlatform::localizedString(std::string_view key) { return localizer_->localizedString(key); }

std::string PosixPlatform::localizedStringWithFormat(std::string_view key, std::int64_t number) {
  return localizer_->localizedStringWithFormat(key, number);
}

std::string PosixPlatform::uppercasedWithCurrentLocale(std::string_view text) { return localizer_->uppercased(text); }

std::optional<ImageSize> PosixPlatform::imageNamed(std::string_view name) {
  // A resource name, not a path: nothing outside the resources directory.
  if (config_.resourcesDirectory.empty() || !isPlainName(name)) return std::nullopt;
  std::string path = config_.resourcesDirectory;
  if (path.back() != '/') path.push_back('/');
  path.append(name);
  path.append(".png");
  // The header says the size: the rest of the file is never read, so that a
  // huge file costs no more than a small one.
  auto bytes = readRegularFilePrefix(path, kPngHeaderBytes);
  if (!bytes) return std::nullopt;
  return readPngSize(*bytes);
}

}  // namespace ferlo
