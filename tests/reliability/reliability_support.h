// Set-up shared by the reliability tests: a real shared container in a
// temporary directory, a PosixPlatform on which the host runs, and a platform
// wrapper that performs the atomic write with injectable system calls.
#pragma once

#include <sys/resource.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/rule_manifest.h"
#include "exchange/tool_request.h"
#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_platform.h"
#include "tests/platform/test_support.h"
#include "tests/support/case_names.h"

// The heaviest cases shrink under the sanitizers, whose memory and time
// overheads would turn seconds into minutes.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FERLO_RELIABILITY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FERLO_RELIABILITY_SANITIZED 1
#endif
#endif
#ifndef FERLO_RELIABILITY_SANITIZED
#define FERLO_RELIABILITY_SANITIZED 0
#endif

namespace ferlo::reliability {

FERLO_PRINT_CASES_BY_NAME()

inline constexpr bool kSanitized = FERLO_RELIABILITY_SANITIZED != 0;
inline constexpr const char* kGroup = "group.reliability";
inline constexpr const char* kHostId = "com.example.Host";
inline constexpr const char* kRuleId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
inline constexpr const char* kRequestName = "tool-request.json";
inline constexpr const char* kRulesName = "rules.json";

// A temporary group-containers root holding the container of kGroup.
class Container {
 public:
  Container() { ::mkdir(path().c_str(), 0755); }
  [[nodiscard]] const std::string& root() const { return root_.path(); }
  [[nodiscard]] std::string path() const { return root_ / kGroup; }
  [[nodiscard]] std::string operator/(const std::string& name) const { return path() + "/" + name; }

 private:
  testing::TempDir root_;
};

// A PosixPlatform whose host runs and whose container is `container`; the
// Finder's selection and target are as given.
inline PosixPlatformConfig healthyConfig(const Container& container,
                                         std::optional<std::vector<FileURL>> selection = std::nullopt,
                                         std::optional<FileURL> target = std::nullopt) {
  PosixPlatformConfig config;
  config.groupContainersRoot = container.root();
  config.bundleIdentifier = std::string(kHostId) + ".FinderSync";
  config.infoDictionary.emplace("TarvelinAppGroup", InfoValue::makeText(kGroup));
  config.bundleURL = FileURL::fileURLWithPath("/Applications/Host.app/Contents/PlugIns/Ext.appex", true);
  config.userHomeOverride = "/home/user";
  config.runningBundleIdentifiers.insert(kHostId);
  config.selectedItemURLs = std::move(selection);
  config.targetedURL = std::move(target);
  config.resourcesDirectory = FERLO_RESOURCES_DIR;
  config.locale = "en_US";
  return config;
}

// Forwards every call to a PosixPlatform, except that the atomic write goes
// through `calls`, so that a test can break any one of its system calls.
class InjectingPlatform : public Platform {
 public:
  InjectingPlatform(PosixPlatform& inner, FileCalls& calls) : inner_(inner), calls_(calls) {}

  std::optional<InfoValue> objectForInfoDictionaryKey(std::string_view key) override {
    return inner_.objectForInfoDictionaryKey(key);
  }
  std::optional<std::string> bundleIdentifier() override { return inner_.bundleIdentifier(); }
  FileURL bundleURL() override { return inner_.bundleURL(); }
  std::optional<FileURL> containerURLForSecurityApplicationGroupIdentifier(std::string_view group) override {
    return inner_.containerURLForSecurityApplicationGroupIdentifier(group);
  }
  FileURL homeDirectoryForCurrentUser() override { return inner_.homeDirectoryForCurrentUser(); }
  std::optional<std::string> readWholeFile(const FileURL& url) override { return inner_.readWholeFile(url); }
  bool writeFileAtomically(const FileURL& url, std::string_view bytes) override {
    if (url.hasDirectoryPath()) return false;
    const FileURL directory = url.deletingLastPathComponent();
    const std::string path = url.path();
    return ferlo::writeFileAtomically(directory.path(), std::string_view(path).substr(path.rfind('/') + 1), bytes,
                                      calls_);
  }
  std::optional<std::string> homeDirectoryOfRealUser() override { return inner_.homeDirectoryOfRealUser(); }
  void setDirectoryURLs(std::vector<FileURL> urls) override { inner_.setDirectoryURLs(std::move(urls)); }
  std::optional<std::vector<FileURL>> selectedItemURLs() override { return inner_.selectedItemURLs(); }
  std::optional<FileURL> targetedURL() override { return inner_.targetedURL(); }
  std::uint64_t processIdentifier() override { return inner_.processIdentifier(); }
  std::size_t runningApplicationsWithBundleIdentifier(std::string_view id) override {
    return inner_.runningApplicationsWithBundleIdentifier(id);
  }
  void openApplicationAtURL(const FileURL& url, bool activates) override { inner_.openApplicationAtURL(url, activates); }
  std::string localizedString(std::string_view key) override { return inner_.localizedString(key); }
  std::string localizedStringWithFormat(std::string_view key, std::int64_t number) override {
    return inner_.localizedStringWithFormat(key, number);
  }
  std::string uppercasedWithCurrentLocale(std::string_view text) override {
    return inner_.uppercasedWithCurrentLocale(text);
  }
  std::optional<ImageSize> imageNamed(std::string_view name) override { return inner_.imageNamed(name); }

 private:
  PosixPlatform& inner_;
  FileCalls& calls_;
};

// A manifest text with `count` rules named "rule <n>" and the given roots.
inline std::string manifestText(std::size_t count, const std::vector<std::string>& roots = {}) {
  RuleManifest manifest;
  manifest.rules.reserve(count);
  const Uuid id = *parseUuid(kRuleId);
  for (std::size_t i = 0; i < count; ++i) manifest.rules.push_back({id, "rule " + std::to_string(i)});
  manifest.watchedRoots = roots;
  return encodeRuleManifest(manifest);
}

// The peak resident set of this process so far, in bytes (Linux reports KiB).
inline std::size_t peakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

}  // namespace ferlo::reliability
