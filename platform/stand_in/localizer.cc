#include "platform/stand_in/localizer.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/plurrule.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "platform/files/file_io.h"
#include "platform/stand_in/strings_file.h"
#include "platform/stand_in/stringsdict_file.h"

namespace ferlo {
namespace {

// The development language: the table every other language falls back to.
constexpr std::string_view kDevelopmentLanguage = "en";

// Through the same guarded read as every other file of the stand-in, so
// that a FIFO or a device among the resources is refused rather than waited
// on. A table that is there but cannot be read is noted with the reason and
// counts as absent; a missing one is simply absent.
std::optional<std::string> readSmallFile(const std::string& path,
                                         std::vector<Localizer::UnreadableTable>* unreadable) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) return std::nullopt;
  Decoded<std::string> bytes = readLocalizationTable(path);
  if (!bytes) unreadable->push_back({path, std::move(bytes.error.why)});
  return std::move(bytes.value);
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// "de_DE.UTF-8" -> "de_DE", "sr_RS@latin" -> "sr_RS", "pt-BR" -> "pt_BR";
// "C", "POSIX" and "" -> "en_US", the locale a process without a preference
// gets. ICU keywords ("de@collation=phonebook") are kept.
std::string normaliseLocale(std::string_view raw) {
  std::string name(raw.substr(0, raw.find_first_of(".@")));
  const std::size_t at = raw.find('@');
  if (at != std::string_view::npos && raw.find('=', at) != std::string_view::npos) name.append(raw.substr(at));
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  if (name.empty() || name == "C" || name == "POSIX") return "en_US";
  return name;
}

// The .lproj names to try, most specific first: "zh_Hant_TW" gives
// zh_Hant_TW, zh-Hant-TW, zh_Hant, zh-Hant, zh.
std::vector<std::string> lprojCandidates(const std::string& locale) {
  std::vector<std::string> parts;
  const std::string base = locale.substr(0, locale.find('@'));
  for (std::size_t start = 0;;) {
    const std::size_t end = base.find('_', start);
    parts.push_back(base.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  while (!parts.empty() && parts.back().empty()) parts.pop_back();
  std::vector<std::string> candidates;
  for (std::size_t count = parts.size(); count > 0; --count) {
    std::string underscored = parts[0], dashed = parts[0];
    for (std::size_t i = 1; i < count; ++i) {
      underscored += "_" + parts[i];
      dashed += "-" + parts[i];
    }
    candidates.push_back(underscored);
    if (dashed != underscored) candidates.push_back(dashed);
  }
  return candidates;
}

struct Tables {
  StringsTable strings;
  StringsdictTable plurals;
};

// A broken file counts as missing: the platform ignores it the same way.
Tables loadTables(const std::string& lprojDirectory, std::vector<Localizer::UnreadableTable>* unreadable) {
  Tables tables;
  if (auto bytes = readSmallFile(lprojDirectory + "/Localizable.strings", unreadable)) {
    if (auto parsed = parseStringsFile(*bytes)) tables.strings = std::move(*parsed);
  }
  if (auto bytes = readSmallFile(lprojDirectory + "/Localizable.stringsdict", unreadable)) {
    if (auto parsed = parseStringsdictFile(*bytes)) tables.plurals = std::move(*parsed);
  }
  return tables;
}

// A number with the same CLDR plural category as n that ICU evaluates
// exactly. ICU computes the operands of large integers in double precision,
// so 9223372036854775801 would come out as ...808 ("many" rather than "one"
// in Russian). CLDR's integer rules look only at i modulo 10, 100, 1000 and
// 1000000, at small ranges and at the sign-free value, so beyond 10^7 the
// last seven digits on top of 10^7 decide the same way.
std::int64_t pluralProxy(std::int64_t n) {
  constexpr std::uint64_t kLimit = 10'000'000;
  const std::uint64_t magnitude = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
  if (magnitude < kLimit) return n;
  return static_cast<std::int64_t>(kLimit + magnitude % kLimit);
}

}  // namespace

struct Localizer::Impl {
  std::string locale;
  std::string language;
  bool hasOwnTable = false;
  Tables own;                     // empty without an own table
  std::optional<Tables> fallback;  // the development language's, when that is not `own`
  std::vector<UnreadableTable> unreadable;
  icu::Locale icuLocale;
  std::optional<icu::number::LocalizedNumberFormatter> numberFormatter;  // immutable, thread-safe
  std::unique_ptr<icu::PluralRules> pluralRules;
  // The development language's rules: a count text taken from its table is
  // formed by them ("1 day" under a Chinese locale, where every count is
  // "other"), while the number itself keeps the locale's digits and grouping.
  std::unique_ptr<icu::PluralRules> fallbackPluralRules;
  mutable std::mutex pluralMutex;  // ICU promises no thread-safety for PluralRules

  // Every table in lookup order: own language first, then the development one.
  std::vector<const Tables*> tablesInOrder() const {
    std::vector<const Tables*> order;
    if (hasOwnTable) order.push_back(&own);
    if (fallback) order.push_back(&*fallback);
    return order;
  }

  std::string formatNumber(std::int64_t n) const {
    if (numberFormatter) {
      UErrorCode status = U_ZERO_ERROR;
      const icu::UnicodeString text = numberFormatter->formatInt(n, status).toString(status);
      if (U_SUCCESS(status)) {
        std::string out;
        text.toUTF8String(out);
        return out;
      }
    }
    return std::to_string(n);
  }

  // The CLDR plural category of n by `rules`; "other" if ICU cannot say.
  std::string pluralCategory(std::int64_t n, const icu::PluralRules* rules) const {
    if (!numberFormatter || !rules) return "other";
    UErrorCode status = U_ZERO_ERROR;
    const icu::number::FormattedNumber formatted = numberFormatter->formatInt(pluralProxy(n), status);
    if (U_FAILURE(status)) return "other";
    icu::UnicodeString keyword;
    {
      std::lock_guard<std::mutex> lock(pluralMutex);
      keyword = rules->select(formatted, status);
    }
    if (U_FAILURE(status)) return "other";
    std::string out;
    keyword.toUTF8String(out);
    return out;
  }

  // The entry's format with every variable replaced by its variant for n;
  // none when a variable is missing, not a plural rule or has no variant.
  std::optional<std::string> resolvePlural(const StringsdictEntry& entry, std::int64_t n,
                                           const icu::PluralRules* rules) const {
    if (!entry.format) return std::nullopt;
    const std::string_view format = *entry.format;
    std::optional<std::string> category;
    std::string out;
    for (std::size_t i = 0; i < format.size();) {
      if (format[i] != '%') {
        const std::size_t next = format.find('%', i);
        const std::size_t end = next == std::string_view::npos ? format.size() : next;
        out.append(format.substr(i, end - i));
        i = end;
        continue;
      }
      if (format.substr(i, 2) == "%%") {
        out.append("%%");  // left for the number formatting to unescape
        i += 2;
        continue;
      }
      const auto reference = formatVariableAt(format, i);
      if (!reference || !reference->terminated) {
        out.push_back('%');
        ++i;
        continue;
      }
      const auto variable = entry.variables.find(reference->name);
      if (variable == entry.variables.end() || variable->second.specType != kStringsdictPluralRuleType) {
        return std::nullopt;
      }
      const auto& forms = variable->second.forms;
      // Foundation's own rule on top of CLDR's: a "zero" variant wins for 0
      // in every language, even where CLDR has no zero category.
      auto form = forms.end();
      if (n == 0) form = forms.find("zero");
      if (form == forms.end()) {
        if (!category) category = pluralCategory(n, rules);
        form = forms.find(*category);
      }
      if (form == forms.end()) form = forms.find("other");
      if (form == forms.end()) return std::nullopt;
      out.append(form->second);
      i += reference->length;
    }
    return out;
  }

  // The text that serves as the format for n: the first of own plural entry,
  // own text, development plural entry, development text, the key itself.
  // The user's language beats plural richness: an own text without plural
  // variants is preferred to the English variants.
  std::string formatFor(std::string_view key, std::int64_t n) const {
    for (const Tables* tables : tablesInOrder()) {
      if (const auto entry = tables->plurals.find(key); entry != tables->plurals.end()) {
        const icu::PluralRules* rules = tables == &own ? pluralRules.get() : fallbackPluralRules.get();
        if (auto resolved = resolvePlural(entry->second, n, rules)) return *std::move(resolved);
      }
      if (const auto text = tables->strings.find(key); text != tables->strings.end()) return text->second;
    }
    return std::string(key);
  }

  // printf-style formatting with n as the one argument: %d %i %u with the
  // length modifiers hh h l ll q j z t, optionally positional (%1$lld); %%
  // is a percent sign. Anything else, including a reference to an argument
  // other than the first, is copied as written rather than guessed at.
  std::string formatWithNumber(std::string_view format, std::int64_t n) const {
    std::string out;
    std::optional<std::string> number;
    std::size_t nextArgument = 1;
    for (std::size_t i = 0; i < format.size();) {
      if (format[i] != '%') {
        const std::size_t next = format.find('%', i);
        const std::size_t end = next == std::string_view::npos ? format.size() : next;
        out.append(format.substr(i, end - i));
        i = end;
        continue;
      }
      if (format.substr(i, 2) == "%%") {
        out.push_back('%');
        i += 2;
        continue;
      }
      std::size_t j = i + 1;
      std::size_t argument = 0;
      const std::size_t digitsStart = j;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9' && j - digitsStart < 9) {
        argument = argument * 10 + static_cast<std::size_t>(format[j] - '0');
        ++j;
      }
      bool positional = false;
      if (j > digitsStart) {
        if (j < format.size() && format[j] == '$') {
          positional = true;
          ++j;
        } else {
          j = format.size();  // a width: not supported, so not a conversion we make
        }
      }
      for (const std::string_view modifier : {"hh", "ll", "h", "l", "q", "j", "z", "t"}) {
        if (format.substr(j, modifier.size()) == modifier) {
          j += modifier.size();
          break;
        }
      }
      const bool conversion = j < format.size() && (format[j] == 'd' || format[j] == 'i' || format[j] == 'u');
      if (!positional) argument = nextArgument;
      if (!conversion || argument != 1) {
        out.push_back('%');
        ++i;
        continue;
      }
      if (!positional) ++nextArgument;
      if (!number) number = formatNumber(n);
      out.append(*number);
      i = j + 1;
    }
    return out;
  }
};

Localizer::Localizer(std::string resourcesDirectory, std::string locale) : impl_(std::make_unique<Impl>()) {
  Impl& impl = *impl_;
  impl.locale = normaliseLocale(locale);
  const std::vector<std::string> candidates = lprojCandidates(impl.locale);
  impl.language = candidates.empty() ? std::string(kDevelopmentLanguage) : candidates.back();
  for (const std::string& candidate : candidates) {
    const std::string directory = resourcesDirectory + "/" + candidate + ".lproj";
    if (isDirectory(directory)) {
      impl.language = candidate;
      impl.hasOwnTable = true;
      impl.own = loadTables(directory, &impl.unreadable);
      break;
    }
  }
  if (!impl.hasOwnTable || impl.language != kDevelopmentLanguage) {
    const std::string directory = resourcesDirectory + "/" + std::string(kDevelopmentLanguage) + ".lproj";
    if (isDirectory(directory)) impl.fallback = loadTables(directory, &impl.unreadable);
  }

  impl.icuLocale = icu::Locale(impl.locale.c_str());
  if (!impl.icuLocale.isBogus()) {
    impl.numberFormatter = icu::number::NumberFormatter::withLocale(impl.icuLocale);
    UErrorCode status = U_ZERO_ERROR;
    impl.pluralRules.reset(icu::PluralRules::forLocale(impl.icuLocale, status));
    if (U_FAILURE(status)) impl.pluralRules.reset();
    status = U_ZERO_ERROR;
    const icu::Locale development(std::string(kDevelopmentLanguage).c_str());
    impl.fallbackPluralRules.reset(icu::PluralRules::forLocale(development, status));
    if (U_FAILURE(status)) impl.fallbackPluralRules.reset();
  }
}

Localizer::~Localizer() = default;

const std::string& Localizer::language() const { return impl_->language; }
const std::string& Localizer::locale() const { return impl_->locale; }
bool Localizer::hasOwnTable() const { return impl_->hasOwnTable; }
const std::vector<Localizer::UnreadableTable>& Localizer::unreadableTables() const { return impl_->unreadable; }

std::string Localizer::localizedString(std::string_view key) const {
  for (const Tables* tables : impl_->tablesInOrder()) {
    if (const auto text = tables->strings.find(key); text != tables->strings.end()) return text->second;
  }
  return std::string(key);
}

std::string Localizer::localizedStringWithFormat(std::string_view key, std::int64_t number) const {
  return impl_->formatWithNumber(impl_->formatFor(key, number), number);
}

std::string Localizer::uppercased(std::string_view text) const {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return std::string(text);
  // Ill-formed UTF-8 becomes U+FFFD here, so what we hand on is always valid.
  icu::UnicodeString unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  unicode.toUpper(impl_->icuLocale);
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

Decoded<std::string> readLocalizationTable(const std::string& path) {
  return readRegularFile(path, kMaxLocalizationTableBytes);
}

std::string localeFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return "en_US";
}

}  // namespace ferlo
