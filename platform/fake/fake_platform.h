// FakePlatform: a working in-memory implementation of the platform seam for
// tests. Its configuration is plain public state, set before the extension
// runs; what the extension does to the world (files written, directories
// registered, applications opened) is recorded and can be read back.
//
// Configuration may only be changed while no extension call is running;
// calls themselves may come from several threads at once.
#pragma once

#include <map>
#include <mutex>
#include <set>

#include "platform/platform.h"

namespace ferlo {

class FakePlatform : public Platform {
 public:
  struct OpenRecord {
    FileURL url;
    bool activates;
  };

  // Bundle.
  std::map<std::string, InfoValue, std::less<>> infoDictionary;
  std::optional<std::string> bundleId = "com.example.Host.FinderSync";
  FileURL bundle = FileURL::fileURLWithPath("/Applications/Host.app/Contents/PlugIns/Ext.appex", true);

  // File manager: containers by group identifier, and files by path.
  std::map<std::string, FileURL, std::less<>> containers;
  FileURL platformHome = FileURL::fileURLWithPath("/Users/platform", true);
  bool failWrites = false;  // every writeFileAtomically fails, changing nothing

  // User database.
  std::optional<std::string> realUserHome = "/Users/user";

  // Finder controller.
  std::optional<std::vector<FileURL>> selection;
  std::optional<FileURL> target;

  // The extension process.
  std::uint64_t processId = 4242;

  // Applications.
  std::multiset<std::string, std::less<>> runningBundleIdentifiers;

  // Localisation: a missing key stands for itself. Count formats take
  // "%lld" or "%1$lld" and "%%"; digits are plain, with no grouping.
  std::map<std::string, std::string, std::less<>> strings;
  std::map<std::string, ImageSize, std::less<>> images;

  // Files, by path. Thread-safe.
  void putFile(const std::string& path, std::string bytes);
  void removeFile(const std::string& path);
  [[nodiscard]] std::optional<std::string> file(const std::string& path) const;

  // Records. Thread-safe.
  [[nodiscard]] std::vector<FileURL> directoryURLs() const;
  [[nodiscard]] std::vector<OpenRecord> opens() const;
  [[nodiscard]] int containerLookups() const;
  [[nodiscard]] int bundleIdentifierReads() const;
  [[nodiscard]] int infoDictionaryReads() const;

  // Platform.
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
  std::uint64_t processIdentifier() override { return processId; }
  std::size_t runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) override;
  void openApplicationAtURL(const FileURL& url, bool activates) override;
  std::string localizedString(std::string_view key) override;
  std::string localizedStringWithFormat(std::string_view key, std::int64_t number) override;
  std::string uppercasedWithCurrentLocale(std::string_view text) override;
  std::optional<ImageSize> imageNamed(std::string_view name) override;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string, std::less<>> files_;
  std::vector<FileURL> directoryURLs_;
  std::vector<OpenRecord> opens_;
  int containerLookups_ = 0;
  int bundleIdentifierReads_ = 0;
  int infoDictionaryReads_ = 0;
};

}  // namespace ferlo
