#include "platform/posix/localizer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "tests/platform/test_support.h"

namespace ferlo {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedResources = fs::path(__FILE__).parent_path() / "../../resources";

const char* const kKeys[] = {
    "finder.section.rules", "finder.rules.empty",      "finder.section.actions",
    "finder.action.flatten", "finder.action.merge %lld", "finder.expiry.title",
    "finder.expiry.titleMany %lld", "finder.expiry.days %lld", "finder.expiry.keep",
};
const char* const kCountKeys[] = {"finder.action.merge %lld", "finder.expiry.titleMany %lld", "finder.expiry.days %lld"};
const char* const kShippedLanguages[] = {"en", "de", "fr", "es", "ja", "ru", "pl"};

// A resources directory of its own per test, removed afterwards.
class TempResources {
 public:
  void write(const std::string& lproj, const std::string& file, const std::string& bytes) const {
    fs::create_directories(fs::path(dir_.path()) / (lproj + ".lproj"));
    std::ofstream(fs::path(dir_.path()) / (lproj + ".lproj") / file, std::ios::binary) << bytes;
  }
  void strings(const std::string& lproj, const std::string& bytes) const { write(lproj, "Localizable.strings", bytes); }
  void plurals(const std::string& lproj, const std::string& entries) const {
    write(lproj, "Localizable.stringsdict", "<plist version=\"1.0\"><dict>" + entries + "</dict></plist>");
  }
  [[nodiscard]] std::string path() const { return dir_.path(); }

 private:
  testing::TempDir dir_;
};

// One stringsdict entry "key" whose format wraps the variable in brackets,
// with the given category -> text forms.
std::string pluralEntry(const std::string& key, const std::vector<std::pair<std::string, std::string>>& forms,
                        const std::string& format = "[%#@n@]") {
  std::string out = "<key>" + key + "</key><dict><key>NSStringLocalizedFormatKey</key><string>" + format +
                    "</string><key>n</key><dict><key>NSStringFormatSpecTypeKey</key><string>NSStringPluralRuleType"
                    "</string><key>NSStringFormatValueTypeKey</key><string>lld</string>";
  for (const auto& [category, text] : forms) out += "<key>" + category + "</key><string>" + text + "</string>";
  return out + "</dict></dict>";
}

// Every category a language can have, each text naming its category.
const std::vector<std::pair<std::string, std::string>> kAllForms = {
    {"zero", "zero %lld"}, {"one", "one %lld"}, {"two", "two %lld"},
    {"few", "few %lld"},   {"many", "many %lld"}, {"other", "other %lld"}};

// ---- Plural selection ----

struct PluralCase {
  const char* locale;
  std::int64_t n;
  const char* expected;
};
std::ostream& operator<<(std::ostream& out, const PluralCase& c) { return out << c.locale << " " << c.n; }

class PluralSelectionTest : public ::testing::TestWithParam<PluralCase> {};

TEST_P(PluralSelectionTest, PicksTheCldrCategory) {
  const PluralCase& c = GetParam();
  TempResources resources;
  // Each locale's own table: a table's texts follow its own language's rules.
  for (const char* language : {"en", "ru", "pl", "ja", "fr", "de"}) {
    resources.plurals(language, pluralEntry("k %lld", kAllForms));
  }
  // Without a zero variant the CLDR category applies to 0 as well.
  resources.plurals("ar", pluralEntry("k %lld", {{"one", "one %lld"}, {"other", "other %lld"}}));
  const Localizer localizer(resources.path(), c.locale);
  EXPECT_EQ(localizer.localizedStringWithFormat("k %lld", c.n), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, PluralSelectionTest,
    ::testing::Values(
        PluralCase{"en_US", 1, "[one 1]"}, PluralCase{"en_US", 7, "[other 7]"},
        // Foundation takes a zero variant for 0 even where CLDR has no zero.
        PluralCase{"en_US", 0, "[zero 0]"},
        PluralCase{"ar_EG", 0, "[other ٠]"},
        // Russian and Polish categories also show in the shipped texts below.
        PluralCase{"ru_RU", 111, "[many 111]"}, PluralCase{"ru_RU", 1234, "[few 1\u00a0234]"},
        PluralCase{"pl_PL", 1002, "[few 1002]"}, PluralCase{"ja_JP", 1, "[other 1]"},
        PluralCase{"fr_FR", 1000000, "[many 1\u202f000\u202f000]"},
        PluralCase{"de_DE", -1, "[one -1]"},
        // Exact 64-bit arithmetic: the nearest double of both is ...808,
        // which is "many".
        PluralCase{"ru_RU", 9223372036854775801, "[one 9\u00a0223\u00a0372\u00a0036\u00a0854\u00a0775\u00a0801]"},
        PluralCase{"ru_RU", 9223372036854775802, "[few 9\u00a0223\u00a0372\u00a0036\u00a0854\u00a0775\u00a0802]"}),
    [](const ::testing::TestParamInfo<PluralCase>& info) {
      return std::string(info.param.locale) + "_" + std::to_string(info.index);
    });

// ---- Formatting of the number ----

struct FormatCase {
  const char* name;
  const char* locale;
  const char* format;  // the key, standing for itself
  std::int64_t n;
  const char* expected;
};
std::ostream& operator<<(std::ostream& out, const FormatCase& c) { return out << c.name; }

class NumberFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(NumberFormatTest, FormatsLikeLocalizedStringWithFormat) {
  const FormatCase& c = GetParam();
  TempResources resources;
  const Localizer localizer(resources.path(), c.locale);
  EXPECT_EQ(localizer.localizedStringWithFormat(c.format, c.n), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, NumberFormatTest,
    ::testing::Values(
        FormatCase{"EnglishGrouping", "en_US", "%lld", 1234, "1,234"},
        FormatCase{"GermanGrouping", "de_DE.UTF-8", "%lld", 1234, "1.234"},
        FormatCase{"RussianNoBreakSpace", "ru_RU", "%lld", 1234567, "1\u00a0234\u00a0567"},
        FormatCase{"PolishNoGroupingBelowTenThousand", "pl_PL", "%lld", 1234, "1234"},
        FormatCase{"Int64Min", "en_US", "%lld", std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
        FormatCase{"Positional", "en_US", "%1$lld of %1$lld", 3, "3 of 3"},
        FormatCase{"IntAndLong", "en_US", "%d/%ld/%i/%u/%qd", 5, "5/%ld/%i/%u/%qd"},
        FormatCase{"PercentEscape", "en_US", "100%% of %lld", 9, "100% of 9"},
        FormatCase{"SecondArgumentMissing", "en_US", "%lld and %lld, %2$lld", 4, "4 and %lld, %2$lld"},
        FormatCase{"ObjectPlaceholderLeftAlone", "en_US", "%@ %lld", 1, "%@ 1"},
        FormatCase{"CLocaleIsEnglish", "C", "%lld", 1000, "1,000"}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// ---- Table choice and fallbacks ----

TEST(LocalizerTables, OwnLanguageThenEnglishThenTheKey) {
  TempResources resources;
  resources.strings("en", R"("a" = "A en"; "b" = "B en";)");
  resources.strings("de", R"("a" = "A de";)");
  const Localizer de(resources.path(), "de_AT.UTF-8");
  EXPECT_EQ(de.language(), "de");
  EXPECT_TRUE(de.hasOwnTable());
  EXPECT_EQ(de.localizedString("a"), "A de");
  EXPECT_EQ(de.localizedString("b"), "B en");
  EXPECT_EQ(de.localizedString("c"), "c");
  EXPECT_EQ(de.localizedString(""), "");

  const Localizer unknown(resources.path(), "xx_YY");
  EXPECT_EQ(unknown.language(), "xx");
  EXPECT_FALSE(unknown.hasOwnTable());
  EXPECT_EQ(unknown.localizedString("a"), "A en");

  const Localizer nothing("/nonexistent/ferlo/resources", "de_DE");
  EXPECT_FALSE(nothing.hasOwnTable());
  EXPECT_EQ(nothing.localizedStringWithFormat("finder.expiry.days %lld", 1234), "finder.expiry.days 1.234");
}

TEST(LocalizerTables, RegionalTableBeforeLanguageTable) {
  TempResources resources;
  resources.strings("pt", R"("a" = "pt";)");
  resources.strings("pt-BR", R"("a" = "pt-BR";)");
  resources.strings("zh_Hant", R"("a" = "zh_Hant";)");
  // POSIX locale names are normalised first: encoding and modifier go.
  const std::pair<const char*, const char*> cases[] = {
      {"pt_BR.UTF-8", "pt-BR"}, {"pt-BR", "pt-BR"}, {"pt_PT@euro", "pt"}, {"zh_Hant_TW", "zh_Hant"},
  };
  for (const auto& [locale, expected] : cases) {
    const Localizer localizer(resources.path(), locale);
    EXPECT_EQ(localizer.language(), expected) << locale;
    EXPECT_EQ(localizer.localizedString("a"), expected) << locale;
  }
}

TEST(LocalizerTables, BrokenOwnTableFallsBackToEnglish) {
  TempResources resources;
  resources.strings("en", R"("a" = "A en";)");
  resources.strings("fr", "\"a\" = \"A fr\";\n\"b\" = \"oops\"\n");  // missing ';': whole file ignored
  resources.write("fr", "Localizable.stringsdict", "<plist><dict>");   // unclosed: ignored too
  const Localizer fr(resources.path(), "fr_FR");
  EXPECT_TRUE(fr.hasOwnTable());
  EXPECT_EQ(fr.localizedString("a"), "A en");
}

TEST(LocalizerTables, UnreadableTableCountsAsAbsentAndIsNamed) {
  TempResources resources;
  resources.strings("en", R"("a" = "A en";)");
  fs::create_directories(fs::path(resources.path()) / "fr.lproj" / "Localizable.stringsdict");
  const std::string fifo = resources.path() + "/fr.lproj/Localizable.strings";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // opening it for reading would wait for a writer
  const Localizer fr(resources.path(), "fr_FR");
  EXPECT_TRUE(fr.hasOwnTable());
  EXPECT_EQ(fr.localizedString("a"), "A en");
  ASSERT_EQ(fr.unreadableTables().size(), 2u);
  EXPECT_EQ(fr.unreadableTables()[0].path, fifo);
  EXPECT_EQ(fr.unreadableTables()[0].reason, "is a FIFO, not a regular file");
  EXPECT_EQ(fr.unreadableTables()[1].reason, "is a directory");
  EXPECT_TRUE(Localizer(resources.path(), "en_US").unreadableTables().empty()) << "a missing table is no problem";
}

TEST(LocalizerTables, CountTextSources) {
  TempResources resources;
  resources.strings("en", R"("plural.en %lld" = "strings en %lld"; "text.only %lld" = "en text %lld";)");
  resources.plurals("en", pluralEntry("plural.en %lld", {{"one", "one en %lld"}, {"other", "other en %lld"}}) +
                              pluralEntry("both %lld", {{"other", "en plural %lld"}}) +
                              pluralEntry("no.other %lld", {{"one", "one %lld"}}) +
                              pluralEntry("unknown.variable %lld", {{"other", "x"}}, "%#@missing@"));
  resources.strings("de", R"("both %lld" = "de Text %lld"; "no.format %lld" = "ohne %lld";)");
  resources.plurals("de", pluralEntry("de.plural %lld", {{"one", "ein %lld"}, {"other", "viele %lld"}}));
  // An entry without a format falls through like a missing one.
  const std::string noFormat = "<key>no.format %lld</key><dict><key>n</key><dict><key>other</key><string>x</string></dict></dict>";
  resources.plurals("fr", noFormat);
  const Localizer de(resources.path(), "de_DE");
  const Localizer fr(resources.path(), "fr_FR");
  const struct {
    const Localizer& localizer;
    const char* key;
    std::int64_t n;
    const char* expected;
  } cases[] = {
      {de, "de.plural %lld", 1, "[ein 1]"},
      {de, "plural.en %lld", 1, "[one en 1]"},  // English plurals before English text
      {de, "both %lld", 3, "de Text 3"},        // own text before English plurals
      {de, "no.other %lld", 5, "no.other 5"},   // no variant for 5: not usable
      {de, "unknown.variable %lld", 1, "unknown.variable 1"},
      {de, "no.format %lld", 1, "ohne 1"},
      {fr, "no.format %lld", 1, "no.format 1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.localizer.localizedStringWithFormat(c.key, c.n), c.expected) << c.key << " " << c.n;
  }
}

// ---- Upper-casing ----

struct UpperCase {
  const char* locale;
  std::string text;
  std::string expected;
};
std::ostream& operator<<(std::ostream& out, const UpperCase& c) { return out << c.locale << " " << c.text; }

class UppercaseTest : public ::testing::TestWithParam<UpperCase> {};

TEST_P(UppercaseTest, FollowsTheLocale) {
  const UpperCase& c = GetParam();
  TempResources resources;
  EXPECT_EQ(Localizer(resources.path(), c.locale).uppercased(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UppercaseTest,
    ::testing::Values(UpperCase{"en_US", "istanbul", "ISTANBUL"}, UpperCase{"tr_TR.UTF-8", "istanbul", "\u0130STANBUL"},
                      UpperCase{"de_DE", "Straße", "STRASSE"}, UpperCase{"el_GR", "Ενέργειες", "ΕΝΕΡΓΕΙΕΣ"},
                      UpperCase{"en_US", std::string("a\0b", 3), std::string("A\0B", 3)},
                      // Ill-formed UTF-8 comes back as U+FFFD, never as bytes that break later JSON.
                      UpperCase{"en_US", "a\xFF" "b", "A\uFFFD" "B"}, UpperCase{"en_US", "x\xED\xA0\x80", "X\uFFFD\uFFFD\uFFFD"}));

// ---- The shipped resources ----

// Every shipped language has its own text for every key; count texts take
// the number for every plural category, and no text is left with a
// placeholder or falls back to a key.
TEST(ShippedResources, EveryLanguageHasEveryTextAndCountForm) {
  for (const char* language : kShippedLanguages) {
    const Localizer localizer(kShippedResources.string(), language);
    ASSERT_TRUE(localizer.hasOwnTable()) << language;
    for (const char* key : kKeys) {
      const std::string text = localizer.localizedString(key);
      EXPECT_NE(text, key) << language;
      EXPECT_EQ(text.find('%') != std::string::npos, std::string_view(key).ends_with("%lld")) << language << " " << key;
    }
    for (const char* key : kCountKeys) {
      for (const std::int64_t n : {0, 1, 2, 3, 5, 11, 21, 22, 101, 1000000}) {
        const std::string text = localizer.localizedStringWithFormat(key, n);
        EXPECT_EQ(text.find('%'), std::string::npos) << language << " " << key << " " << n << ": " << text;
        EXPECT_EQ(text.find("finder."), std::string::npos) << language << " " << key << " " << n << ": " << text;
      }
    }
  }
}

struct ShippedCase {
  const char* locale;
  const char* key;
  std::int64_t n;
  const char* expected;
};
std::ostream& operator<<(std::ostream& out, const ShippedCase& c) { return out << c.locale << " " << c.key << " " << c.n; }

class ShippedTextTest : public ::testing::TestWithParam<ShippedCase> {};

TEST_P(ShippedTextTest, ReadsNaturally) {
  const ShippedCase& c = GetParam();
  const Localizer localizer(kShippedResources.string(), c.locale);
  EXPECT_EQ(localizer.localizedStringWithFormat(c.key, c.n), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ShippedTextTest,
    ::testing::Values(ShippedCase{"en_US", "finder.expiry.days %lld", 1, "1 day"},
                    ShippedCase{"en_GB", "finder.expiry.titleMany %lld", 1234, "Set Expiry for 1,234 Files"},
                    ShippedCase{"de_DE", "finder.expiry.days %lld", 1, "1 Tag"},
                    ShippedCase{"ru_RU", "finder.expiry.days %lld", 1, "1 день"},
                    ShippedCase{"ru_RU", "finder.expiry.days %lld", 2, "2 дня"},
                    ShippedCase{"ru_RU", "finder.expiry.days %lld", 5, "5 дней"},
                    ShippedCase{"pl_PL", "finder.action.merge %lld", 2, "Scal 2 foldery"},
                    ShippedCase{"pl_PL", "finder.action.merge %lld", 5, "Scal 5 folderów"},
                    ShippedCase{"pl_PL", "finder.action.merge %lld", 22, "Scal 22 foldery"},
                    ShippedCase{"ja_JP", "finder.expiry.days %lld", 1, "1日"},
                    ShippedCase{"fr_FR", "finder.expiry.days %lld", 0, "0 jour"},
                    ShippedCase{"it_IT", "finder.expiry.days %lld", 7, "7 days"},
                    // The English fallback by English plural rules (Chinese has only "other", Hindi
                    // counts 0 as "one"), in the locale's digits and grouping.
                    ShippedCase{"zh_Hans_CN", "finder.expiry.days %lld", 1, "1 day"},
                    ShippedCase{"hi_IN", "finder.expiry.days %lld", 0, "0 days"},
                    ShippedCase{"hi_IN", "finder.expiry.titleMany %lld", 1234567, "Set Expiry for 12,34,567 Files"}),
    [](const ::testing::TestParamInfo<ShippedCase>& info) { return std::to_string(info.index); });

}  // namespace
}  // namespace ferlo
