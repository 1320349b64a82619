// The platform seam: everything the extension needs from the world outside
// its own logic. Each member mirrors one platform call, so that the macOS
// adapter is a one-to-one mapping and the other implementations (the POSIX
// stand-in driven by the `ferlo` program, the in-memory fake of the tests)
// are written from what the extension expects of that call.
//
// Threads: the extension calls every member on the thread on which the Finder
// calls it; members may be called from several such threads at once and must
// not keep per-call state. Implementations report failures as values (none,
// false, an empty list); nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_url.h"

namespace ferlo {

// A value of the bundle's information property list, typed as it is stored.
struct InfoValue {
  enum class Kind { text, number, boolean, list, dictionary };
  Kind kind = Kind::text;
  std::string text;                                         // Kind::text
  double number = 0;                                        // Kind::number
  bool boolean = false;                                     // Kind::boolean
  std::vector<InfoValue> list;                              // Kind::list
  std::vector<std::pair<std::string, InfoValue>> dictionary;  // Kind::dictionary, in key order

  // Written out, not implicit: clang with libstdc++ cannot decide whether
  // the implicit one exists while InfoValue is still incomplete (the
  // dictionary's pair holds an InfoValue) and rejects the type.
  InfoValue() {}

  static InfoValue makeText(std::string value) {
    InfoValue v;
    v.kind = Kind::text;
    v.text = std::move(value);
    return v;
  }
  static InfoValue makeNumber(double value) {
    InfoValue v;
    v.kind = Kind::number;
    v.number = value;
    return v;
  }
  static InfoValue makeBoolean(bool value) {
    InfoValue v;
    v.kind = Kind::boolean;
    v.boolean = value;
    return v;
  }
};

// Width and height in points.
struct ImageSize {
  double width = 0;
  double height = 0;
};

// Bytes read from a file. `readWholeFile` leaves at least this many bytes of
// capacity beyond the end of the data, so that a parser that reads in wide
// blocks can work on the buffer without copying it.
inline constexpr std::size_t kReadPadding = 64;

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- The extension's own bundle (NSBundle mainBundle) ----

  // objectForInfoDictionaryKey: the Info.plist value of `key`, or none.
  [[nodiscard]] virtual std::optional<InfoValue> objectForInfoDictionaryKey(std::string_view key) = 0;

  // bundleIdentifier: the extension's bundle identifier, or none.
  [[nodiscard]] virtual std::optional<std::string> bundleIdentifier() = 0;

  // bundleURL: the directory URL of the extension's bundle.
  [[nodiscard]] virtual FileURL bundleURL() = 0;

  // ---- The file manager (NSFileManager defaultManager) ----

  // containerURLForSecurityApplicationGroupIdentifier: the directory URL of
  // the group's shared container, or none. Never creates anything.
  [[nodiscard]] virtual std::optional<FileURL> containerURLForSecurityApplicationGroupIdentifier(
      std::string_view groupIdentifier) = 0;

  // homeDirectoryForCurrentUser: the platform's home directory of the
  // current user, as a directory URL.
  [[nodiscard]] virtual FileURL homeDirectoryForCurrentUser() = 0;

  // The whole contents of the regular file at `url`, read in one call, or
  // none when it cannot be read (missing, no permission, a directory or any
  // other non-regular file). Never blocks waiting for a writer. The result's
  // capacity exceeds its size by at least kReadPadding.
  [[nodiscard]] virtual std::optional<std::string> readWholeFile(const FileURL& url) = 0;

  // Replaces the file at `url` with `bytes` atomically and durably: a reader
  // sees the previous file or the whole new one, never a part. True when the
  // new file is in place; on false the previous file is unchanged and nothing
  // of the attempt is left behind. Never creates a directory.
  [[nodiscard]] virtual bool writeFileAtomically(const FileURL& url, std::string_view bytes) = 0;

  // ---- The user database (getpwuid(getuid())) ----

  // The home directory field of the real user's entry, or none when there is
  // no entry or its home field is null.
  [[nodiscard]] virtual std::optional<std::string> homeDirectoryOfRealUser() = 0;

  // ---- The Finder's controller (FIFinderSyncController defaultController) ----

  // setDirectoryURLs: replaces the set of directories the extension watches.
  virtual void setDirectoryURLs(std::vector<FileURL> urls) = 0;

  // selectedItemURLs: the selected items in the Finder's order, or none.
  [[nodiscard]] virtual std::optional<std::vector<FileURL>> selectedItemURLs() = 0;

  // targetedURL: the folder on which the menu was opened, or none.
  [[nodiscard]] virtual std::optional<FileURL> targetedURL() = 0;

  // ---- The extension process (NSProcessInfo processInfo) ----

  // processIdentifier: the identifier of the extension's own process, which
  // no other running process shares.
  [[nodiscard]] virtual std::uint64_t processIdentifier() = 0;

  // ---- Applications (NSRunningApplication, NSWorkspace) ----

  // runningApplicationsWithBundleIdentifier: how many running applications
  // have exactly this bundle identifier.
  [[nodiscard]] virtual std::size_t runningApplicationsWithBundleIdentifier(std::string_view bundleIdentifier) = 0;

  // openApplicationAtURL:configuration:completionHandler: with a configuration
  // whose `activates` is as given and no completion handler. Returns at once;
  // the outcome is not observed.
  virtual void openApplicationAtURL(const FileURL& url, bool activates) = 0;

  // ---- Localisation and locale ----

  // NSLocalizedString(key, ""): the text of `key` in the default table of the
  // extension's bundle, or `key` itself when the table has no entry.
  [[nodiscard]] virtual std::string localizedString(std::string_view key) = 0;

  // The localised text of `key` used as a format for one 64-bit signed
  // integer (localizedStringWithFormat), in the current locale: the locale's
  // digits and grouping, and plural forms where the table has them.
  [[nodiscard]] virtual std::string localizedStringWithFormat(std::string_view key, std::int64_t number) = 0;

  // uppercaseStringWithLocale: with the current locale.
  [[nodiscard]] virtual std::string uppercasedWithCurrentLocale(std::string_view text) = 0;

  // ---- Images (NSImage imageNamed:) ----

  // The size in points of the bundle's image resource `name`, or none when
  // there is no such image.
  [[nodiscard]] virtual std::optional<ImageSize> imageNamed(std::string_view name) = 0;
};

}  // namespace ferlo
