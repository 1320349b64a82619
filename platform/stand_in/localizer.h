// Localizer: the stand-in's localisation, read from a resources directory
// laid out as on macOS: <resources>/<lang>.lproj/Localizable.strings and
// Localizable.stringsdict. A language without a table falls back to the "en"
// table (the development language); a key with no entry in either stands for
// itself. Broken tables are treated as missing entries, never as errors.
//
//   Localizer l("/path/resources", "de_DE.UTF-8");
//   l.localizedStringWithFormat("finder.expiry.days %lld", 1234);  // "1.234 Tage"
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"

namespace ferlo {

class Localizer {
 public:
  // `locale` is a POSIX or ICU locale name ("de_DE", "tr_TR.UTF-8", "pt-BR",
  // "C"); its language picks the table, the whole of it the number format,
  // plural rules and upper-casing.
  Localizer(std::string resourcesDirectory, std::string locale);
  ~Localizer();
  Localizer(const Localizer&) = delete;
  Localizer& operator=(const Localizer&) = delete;

  // The language whose table is used first ("de"), and the locale name.
  [[nodiscard]] const std::string& language() const;
  [[nodiscard]] const std::string& locale() const;
  // True when a table for language() (not the fallback) was found.
  [[nodiscard]] bool hasOwnTable() const;

  // The table files that are there but could not be read (a FIFO, a
  // directory, no permission, too large), in lookup order, each with the
  // reason in words for a person. They count as absent; a missing file is
  // not listed.
  struct UnreadableTable {
    std::string path;
    std::string reason;
  };
  [[nodiscard]] const std::vector<UnreadableTable>& unreadableTables() const;

  [[nodiscard]] std::string localizedString(std::string_view key) const;
  [[nodiscard]] std::string localizedStringWithFormat(std::string_view key, std::int64_t number) const;
  [[nodiscard]] std::string uppercased(std::string_view text) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Localisation tables are a few kilobytes; a file far larger is not one, and
// reading it whole would only cost memory.
inline constexpr std::uint64_t kMaxLocalizationTableBytes = 16U << 20;

// The bytes of the table file at `path` as the Localizer reads them: a
// regular file of at most kMaxLocalizationTableBytes (a FIFO or a device is
// refused, not waited on), else the refusal (for the file as a whole).
[[nodiscard]] Decoded<std::string> readLocalizationTable(const std::string& path);

// The locale named by the environment: LC_ALL, else LC_MESSAGES, else LANG,
// the first that is set and not empty; "en_US" when none is.
[[nodiscard]] std::string localeFromEnvironment();

}  // namespace ferlo
