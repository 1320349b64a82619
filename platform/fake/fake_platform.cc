#include "platform/fake/fake_platform.h"

#include <cctype>

namespace ferlo {

void FakePlatform::putFile(const std::string& path, std::string bytes) {
  std::lock_guard lock(mutex_);
  files_[path] = std::move(bytes);
}

void FakePlatform::removeFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  files_.erase(path);
}

std::optional<std::string> FakePlatform::file(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = files_.find(path);
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

std::vector<FileURL> FakePlatform::directoryURLs() const {
  std::lock_guard lock(mutex_);
  return directoryURLs_;
}

std::vector<FakePlatform::OpenRecord> FakePlatform::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

int FakePlatform::containerLookups() const {
  std::lock_guard lock(mutex_);
  return containerLookups_;
}

int FakePlatform::bundleIdentifierReads() const {
  std::lock_guard lock(mutex_);
  return bundleIdentifierReads_;
}

int FakePlatform::infoDictionaryReads() const {
  std::lock_guard lock(mutex_);
  return infoDictionaryReads_;
}

std::optional<InfoValue> FakePlatform::objectForInfoDictionaryKey(std::string_view key) {
  {
    std::lock_guard lock(mutex_);
    ++infoDictionaryReads_;
  }
  auto it = infoDictionary.find(key);
  if (it == infoDictionary.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> FakePlatform::bundleIdentifier() {
  std::lock_guard lock(mutex_);
  ++bundleIdentifierReads_;
  return bundleId;
}

FileURL FakePlatform::bundleURL() { return bundle; }

std::optional<FileURL> FakePlatform::containerURLForSecurityApplicationGroupIdentifier(std::string_view group) {
  {
    std::lock_guard lock(mutex_);
    ++containerLookups_;
  }
  auto it = containers.find(group);
  if (it == containers.end()) return std::nullopt;
  return it->second;
}

FileURL FakePlatform::homeDirectoryForCurrentUser() { return platformHome; }

std::optional<std::string> FakePlatform::readWholeFile(const FileURL& url) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(url.path());
  if (it == files_.end()) return std::nullopt;
  const std::string& stored = it->second;
  std::string bytes;
  bytes.reserve(stored.size() + kReadPadding);
  bytes.append(stored.data(), stored.size());
  return bytes;
}

bool FakePlatform::writeFileAtomically(const FileURL& url, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  if (failWrites) return false;
  files_[url.path()] = std::string(bytes);
  return true;
}

std::optional<std::string> FakePlatform::homeDirectoryOfRealUser() { return realUserHome; }

void FakePlatform::setDirectoryURLs(std::vector<FileURL> urls) {
  std::lock_guard lock(mutex_);
  directoryURLs_ = std::move(urls);
}

std::optional<std::vector<FileURL>> FakePlatform::selectedItemURLs() { return selection; }

std::optional<FileURL> FakePlatform::targetedURL() { return target; }

std::size_t FakePlatform::runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) {
  if (bundleIdentifier.empty()) return 0;  // no application has an empty identifier
  return runningBundleIdentifiers.count(bundleIdentifier);
}

void FakePlatform::openApplicationAtURL(const FileURL& url, bool activates) {
  std::lock_guard lock(mutex_);
  opens_.push_back({url, activates});
}

std::string FakePlatform::localizedString(std::string_view key) {
  auto it = strings.find(key);
  return it == strings.end() ? std::string(key) : it->second;
}

std::string FakePlatform::localizedStringWithFormat(std::string_view key, std::int64_t number) {
  std::string format = localizedString(key);
  std::string out;
  const std::string digits = std::to_string(number);
  for (std::size_t i = 0; i < format.size(); ++i) {
    std::string_view rest = std::string_view(format).substr(i);
    if (rest.starts_with("%%")) {
      out.push_back('%');
      i += 1;
    } else if (rest.starts_with("%lld")) {
      out += digits;
      i += 3;
    } else if (rest.starts_with("%1$lld")) {
      out += digits;
      i += 5;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

std::string FakePlatform::uppercasedWithCurrentLocale(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<ImageSize> FakePlatform::imageNamed(std::string_view name) {
  auto it = images.find(name);
  if (it == images.end()) return std::nullopt;
  return it->second;
}

}  // namespace ferlo
