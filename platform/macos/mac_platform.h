// MacPlatform: the platform seam over Apple's frameworks. Each member is the
// one call its name gives (NSBundle mainBundle, NSFileManager defaultManager,
// FIFinderSyncController defaultController, NSRunningApplication,
// NSWorkspace, NSLocalizedString, NSImage), with the values converted to the
// seam's types at once; files are read and replaced with the POSIX calls
// (F_FULLFSYNC on Apple platforms).
//
// Plain C++: no Objective-C type appears here, so the header can be included
// anywhere. The implementation is Objective-C++ (mac_platform.mm).
//
// Threads: stateless; every member may be called on any thread the Finder
// calls the extension on. The Objective-C objects each call makes are
// autoreleased into the caller's pool.
#pragma once

#include "platform/platform.h"

namespace ferlo {

class MacPlatform final : public Platform {
 public:
  MacPlatform() = default;
  MacPlatform(const MacPlatform&) = delete;
  MacPlatform& operator=(const MacPlatform&) = delete;

  // NSString -> text, NSNumber -> boolean (the property-list booleans) or
  // number, NSArray -> list, NSDictionary -> dictionary (keys in order);
  // members of another type (data, date) are left out of a list or
  // dictionary, and at the top level give none.
  std::optional<InfoValue> objectForInfoDictionaryKey(std::string_view key) override;
  std::optional<std::string> bundleIdentifier() override;
  // The bundle's URL; should Foundation give none, the bundle path as a
  // directory URL.
  FileURL bundleURL() override;
  std::optional<FileURL> containerURLForSecurityApplicationGroupIdentifier(std::string_view groupIdentifier) override;
  FileURL homeDirectoryForCurrentUser() override;
  // readRegularFile of the URL's path.
  std::optional<std::string> readWholeFile(const FileURL& url) override;
  // writeFileAtomically into the URL's directory; a directory URL names no
  // file and fails.
  bool writeFileAtomically(const FileURL& url, std::string_view bytes) override;
  // getpwuid_r(getuid()).pw_dir.
  std::optional<std::string> homeDirectoryOfRealUser() override;
  void setDirectoryURLs(std::vector<FileURL> urls) override;
  // URLs that are not file URLs are left out.
  std::optional<std::vector<FileURL>> selectedItemURLs() override;
  std::optional<FileURL> targetedURL() override;
  std::uint64_t processIdentifier() override;
  std::size_t runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) override;
  void openApplicationAtURL(const FileURL& url, bool activates) override;
  std::string localizedString(std::string_view key) override;
  std::string localizedStringWithFormat(std::string_view key, std::int64_t number) override;
  std::string uppercasedWithCurrentLocale(std::string_view text) override;
  std::optional<ImageSize> imageNamed(std::string_view name) override;
};

}  // namespace ferlo
