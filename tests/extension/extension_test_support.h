// Shared set-up for the extension tests: a fake platform on which the host
// runs and the shared container exists, helpers for Finder URLs and
// manifests.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "extension/menu.h"
#include "platform/fake/fake_platform.h"

namespace ferlo::testing {

inline constexpr const char* kGroup = "group.test.ferlo";
inline constexpr const char* kHost = "com.example.Host";  // from the fake's bundle id
inline constexpr const char* kContainer = "/Group Containers/ferlo";
inline const std::string kRulesPath = std::string(kContainer) + "/rules.json";
inline const std::string kRequestPath = std::string(kContainer) + "/tool-request.json";

// Counts the calls whose number the extension's contract limits.
class CountingPlatform : public FakePlatform {
 public:
  std::optional<ImageSize> imageNamed(std::string_view name) override {
    return ++imageLookups, FakePlatform::imageNamed(name);
  }
  std::optional<std::vector<FileURL>> selectedItemURLs() override {
    return ++selectionQueries, FakePlatform::selectedItemURLs();
  }
  std::atomic<int> imageLookups{0};
  std::atomic<int> selectionQueries{0};
};

// The host runs, the app group names an existing container; no manifest yet.
inline void makeHealthy(FakePlatform& platform) {
  platform.infoDictionary["TarvelinAppGroup"] = InfoValue::makeText(kGroup);
  platform.containers.emplace(kGroup, FileURL::fileURLWithPath(kContainer, true));
  platform.runningBundleIdentifiers.insert(kHost);
}
// Two rules of one name, the first id in lower case, and one watched root.
inline constexpr const char* kTwoTidyRules =
    R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"},)"
    R"({"id":"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2","name":"Tidy"}],"watchedRoots":["\/w"]})";

inline FileURL fileAt(std::string_view path) { return FileURL::fileURLWithPath(path, false); }
inline FileURL folderAt(std::string_view path) { return FileURL::fileURLWithPath(path, true); }

}  // namespace ferlo::testing
