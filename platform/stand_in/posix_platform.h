// PosixPlatform: the stand-in platform on which the `ferlo` program runs the
// extension where there is no Finder. Files, the user database and locale
// services are real; the Finder's controller, the running applications and
// the workspace are state that the program sets and reads back.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/platform.h"

namespace ferlo {

class Localizer;

struct PosixPlatformConfig {
  // App-group containers: the container of group G is <root>/<G>/ when that
  // directory exists, none otherwise (never created).
  std::string groupContainersRoot;

  // The extension's bundle.
  std::optional<std::string> bundleIdentifier;
  std::map<std::string, InfoValue, std::less<>> infoDictionary;
  FileURL bundleURL = FileURL::fileURLWithPath("/", true);

  // The user database's home of the real user id: by default the real
  // getpwuid(getuid()) entry. `userHomeOverride` replaces it; with
  // `noUserEntry` there is no entry at all.
  std::optional<std::string> userHomeOverride;
  bool noUserEntry = false;
  // homeDirectoryForCurrentUser.
  std::string platformHome = "/";

  // The Finder's controller.
  std::optional<std::vector<FileURL>> selectedItemURLs;
  std::optional<FileURL> targetedURL;

  // The extension process's identifier; none: this process's own.
  std::optional<std::uint64_t> processIdentifier;

  // Bundle identifiers of running applications.
  std::multiset<std::string, std::less<>> runningBundleIdentifiers;

  // Localisation tables and BrandGlyph.png; the locale name.
  std::string resourcesDirectory;
  std::string locale = "en_US";

  // Called on every openApplicationAtURL, after it is recorded.
  std::function<void(const FileURL& url, bool activates)> onOpen;
};

// The default root of app-group containers: $FERLO_GROUP_CONTAINERS, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/ferlo/group-containers.
[[nodiscard]] std::string defaultGroupContainersRoot();

class PosixPlatform : public Platform {
 public:
  struct OpenRecord {
    FileURL url;
    bool activates;
  };
  struct WriteRecord {
    FileURL url;
    bool written;        // what writeFileAtomically gave the extension
    std::string whyNot;  // when not written: the OS's reason, e.g. "Is a directory"
  };

  explicit PosixPlatform(PosixPlatformConfig config);
  ~PosixPlatform() override;

  [[nodiscard]] const PosixPlatformConfig& config() const { return config_; }
  [[nodiscard]] const Localizer& localizer() const { return *localizer_; }

  // What the extension did.
  [[nodiscard]] std::vector<FileURL> directoryURLs() const;
  [[nodiscard]] std::vector<OpenRecord> opens() const;
  // Every writeFileAtomically, in order; the extension sees only `written`.
  [[nodiscard]] std::vector<WriteRecord> writes() const;

  std::optional<InfoValue> objectForInfoDictionaryKey(std::string_view key) override;
  std::optional<std::string> bundleIdentifier() override;
  FileURL bundleURL() override;
  std::optional<FileURL> containerURLForSecurityApplicationGroupIdentifier(std::string_view group) override;
  FileURL homeDirectoryForCurrentUser() override;
  std::optional<std::string> readWholeFile(const FileURL& url) override;
  bool writeFileAtomically(const FileURL& url, std::string_view bytes) override;
  std::optional<std::string> homeDirectoryOfRealUser() override;
  void setDirectoryURLs(std::vector<FileURL> urls) override;
  std::optional<std::vector<FileURL>> selectedItemURLs() override;
  std::optional<FileURL> targetedURL() override;
  std::uint64_t processIdentifier() override;
  std::size_t runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) override;
  void openApplicationAtURL(const FileURL& url, bool activates) override;
  std::string localizedString(std::string_view key) override;
  std::string localizedStringWithFormat(std::string_view key, std::int64_t number) override;
  std::string uppercasedWithCurrentLocale(std::string_view text) override;
  std::optional<ImageSize> imageNamed(std::string_view name) override;

 private:
  PosixPlatformConfig config_;
  std::unique_ptr<Localizer> localizer_;
  mutable std::mutex mutex_;
  std::vector<FileURL> directoryURLs_;
  std::vector<OpenRecord> opens_;
  std::vector<WriteRecord> writes_;
};

}  // namespace ferlo
