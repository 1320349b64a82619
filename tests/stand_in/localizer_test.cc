#include "platform/stand_in/localizer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace ferlo {
namespace {

const std::string kShipped = (std::filesystem::path(__FILE__).parent_path() / "../../resources").string();

// A resources directory of the test's own.
class LocalizerTest : public ::testing::Test {
 protected:
  void write(const std::string& lproj, const std::string& file, const std::string& bytes) const {
    testing::writeFile(dir / (lproj + ".lproj/" + file), bytes);
  }
  void strings(const std::string& lproj, const std::string& bytes) const { write(lproj, "Localizable.strings", bytes); }
  void plurals(const std::string& lproj, const std::string& entries) const {
    write(lproj, "Localizable.stringsdict", "<plist><dict>" + entries + "</dict></plist>");
  }
  [[nodiscard]] Localizer in(const char* locale) const { return Localizer(dir.path(), locale); }
  testing::TempDir dir;
};

// A stringsdict entry whose format wraps the variable in brackets.
std::string pluralEntry(const std::string& key, const std::vector<std::pair<std::string, std::string>>& forms,
                        const std::string& format = "[%#@n@]") {
  std::string out = "<key>" + key + "</key><dict><key>NSStringLocalizedFormatKey</key><string>" + format +
                    "</string><key>n</key><dict><key>NSStringFormatSpecTypeKey</key><string>NSStringPluralRuleType"
                    "</string><key>NSStringFormatValueTypeKey</key><string>lld</string>";
  for (const auto& [category, text] : forms) out += "<key>" + category + "</key><string>" + text + "</string>";
  return out + "</dict></dict>";
}

// The plural category, the number's form, the printf subset and the source
// of the text: with tables whose texts name their category ("k %lld"), with
// keys that are their own format, and with the shipped texts (the "finder."
// keys).
TEST_F(LocalizerTest, FormatsCountsByTheLanguagesRules) {
  const std::string k = pluralEntry("k %lld", {{"zero", "zero %lld"}, {"one", "one %lld"}, {"two", "two %lld"},
                                                {"few", "few %lld"}, {"many", "many %lld"}, {"other", "other %lld"}});
  for (const char* language : {"ru", "pl", "ja"}) plurals(language, k);
  // Without a zero variant, 0 takes its CLDR category; Arabic's "zero" has
  // no variant either, so "other".
  plurals("ar", pluralEntry("k %lld", {{"one", "one %lld"}, {"other", "other %lld"}}));
  // The text of a count: own plural entry, own text, English plural entry,
  // English text, the key; an entry that cannot give the text for n is
  // passed over.
  strings("en", R"("plural.en %lld" = "strings en %lld";)");
  plurals("en", k + pluralEntry("plural.en %lld", {{"one", "one en %lld"}, {"other", "other en %lld"}}) +
                    pluralEntry("both %lld", {{"other", "en plural %lld"}}) + pluralEntry("no.other %lld", {{"one", "one %lld"}}) +
                    pluralEntry("unknown.variable %lld", {{"other", "x"}}, "%#@missing@"));
  strings("de", R"("both %lld" = "de Text %lld"; "no.format %lld" = "ohne %lld";)");
  plurals("de", k + pluralEntry("de.plural %lld", {{"one", "ein %lld"}, {"other", "viele %lld"}}));
  plurals("fr", k + "<key>no.format %lld</key><dict><key>n</key><dict><key>other</key><string>x</string></dict></dict>");
  const struct { const char *locale, *key; std::int64_t n; const char* expected; } cases[] = {
      // A zero variant wins even where CLDR has no zero.
      {"en_US", "k %lld", 1, "[one 1]"}, {"en_US", "k %lld", 0, "[zero 0]"}, {"ar_EG", "k %lld", 0, "[other ٠]"},
      {"ru_RU", "k %lld", 111, "[many 111]"}, {"ru_RU", "k %lld", 1234, "[few 1\u00a0234]"},
      {"pl_PL", "k %lld", 1002, "[few 1002]"}, {"ja_JP", "k %lld", 1, "[other 1]"}, {"de_DE", "k %lld", -1, "[one -1]"},
      // 10,000,000 is beyond the exact range of ICU's operands.
      {"fr_FR", "k %lld", 1000000, "[many 1\u202f000\u202f000]"}, {"fr_FR", "k %lld", 10000000, "[many 10\u202f000\u202f000]"},
      // Exact 64-bit arithmetic: the nearest double of both is ...808, "many".
      {"ru_RU", "k %lld", 9223372036854775801, "[one 9\u00a0223\u00a0372\u00a0036\u00a0854\u00a0775\u00a0801]"},
      {"ru_RU", "k %lld", 9223372036854775802, "[few 9\u00a0223\u00a0372\u00a0036\u00a0854\u00a0775\u00a0802]"},
      {"de_DE.UTF-8", "%lld", 1234, "1.234"}, {"pl_PL", "%lld", 1234, "1234"} /* no grouping below ten thousand */,
      {"en_US", "%lld", std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"}, {"C", "%lld", 1000, "1,000"},
      {"en_US", "%1$lld of %1$lld", 3, "3 of 3"}, {"en_US", "%@ %lld", 1, "%@ 1"}, {"en_US", "100%% of %lld", 9, "100% of 9"},
      {"en_US", "%d/%ld/%i/%u/%qd", 5, "5/%ld/%i/%u/%qd"}, {"en_US", "%lld and %lld, %2$lld", 4, "4 and %lld, %2$lld"},
      {"en_GB", "finder.expiry.titleMany %lld", 1234, "Set Expiry for 1,234 Files"},
      {"ru_RU", "finder.expiry.days %lld", 5, "5 дней"}, {"fr_FR", "finder.expiry.days %lld", 0, "0 jour"},
      {"pl_PL", "finder.action.merge %lld", 2, "Scal 2 foldery"}, {"pl_PL", "finder.action.merge %lld", 5, "Scal 5 folderów"},
      // The English fallback by English rules (Chinese has only "other",
      // Hindi counts 0 as "one"), in the locale's digits and grouping.
      {"zh_Hans_CN", "finder.expiry.days %lld", 1, "1 day"}, {"hi_IN", "finder.expiry.days %lld", 0, "0 days"},
      {"hi_IN", "finder.expiry.titleMany %lld", 1234567, "Set Expiry for 12,34,567 Files"},
      {"de_DE", "de.plural %lld", 1, "[ein 1]"}, {"de_DE", "plural.en %lld", 1, "[one en 1]"}, {"de_DE", "both %lld", 3, "de Text 3"},
      {"de_DE", "no.other %lld", 5, "no.other 5"}, {"de_DE", "unknown.variable %lld", 1, "unknown.variable 1"},
      {"de_DE", "no.format %lld", 1, "ohne 1"}, {"fr_FR", "no.format %lld", 1, "no.format 1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Localizer(std::string_view(c.key).starts_with("finder.") ? kShipped : dir.path(), c.locale)
                  .localizedStringWithFormat(c.key, c.n), c.expected) << c.locale << " " << c.key << " " << c.n;
}

TEST_F(LocalizerTest, OwnTableThenEnglishThenTheKey) {
  // fr misses a ';': the whole file is ignored.
  for (const auto& [lproj, text] : {std::pair{"en", R"("a" = "A en"; "b" = "B en";)"}, {"de", R"("a" = "A de";)"},
                                    {"pt", R"("a" = "pt";)"}, {"pt-BR", R"("a" = "pt-BR";)"}, {"zh_Hant", R"("a" = "zh_Hant";)"},
                                    {"fr", "\"a\" = \"A fr\";\n\"b\" = \"oops\"\n"}})
    strings(lproj, text);
  write("fr", "Localizable.stringsdict", "<plist><dict>");
  const struct { const char *locale, *language; bool ownTable; const char* a; } cases[] = {
      {"de_AT.UTF-8", "de", true, "A de"}, {"xx_YY", "xx", false, "A en"}, {"fr_FR", "fr", true, "A en"},
      {"pt_BR.UTF-8", "pt-BR", true, "pt-BR"}, {"pt-BR", "pt-BR", true, "pt-BR"}, {"pt_PT@euro", "pt", true, "pt"},
      {"zh_Hant_TW", "zh_Hant", true, "zh_Hant"}};
  for (const auto& c : cases) {
    const Localizer localizer = in(c.locale);
    EXPECT_EQ(std::tuple(localizer.language(), localizer.hasOwnTable(), localizer.localizedString("a")),
              std::tuple(c.language, c.ownTable, c.a)) << c.locale;
  }
  for (const auto& [key, text] : {std::pair{"b", "B en"}, {"c", "c"}, {"", ""}}) EXPECT_EQ(in("de_DE").localizedString(key), text);
  // A table that cannot be read counts as absent and is named; opening a
  // FIFO for reading would wait for a writer.
  std::filesystem::create_directories(dir / "it.lproj/Localizable.stringsdict");
  ASSERT_EQ(::mkfifo((dir / "it.lproj/Localizable.strings").c_str(), 0600), 0);
  const Localizer it = in("it_IT");
  EXPECT_EQ(it.localizedString("a"), "A en");
  ASSERT_EQ(it.unreadableTables().size(), 2u);
  EXPECT_EQ(it.unreadableTables()[0].path + " " + it.unreadableTables()[0].reason + "; " + it.unreadableTables()[1].reason,
            dir / "it.lproj/Localizable.strings is a FIFO, not a regular file; is a directory");
  EXPECT_TRUE(in("de_DE").unreadableTables().empty()) << "a missing table is no problem";
  const Localizer nothing("/nonexistent/ferlo/resources", "de_DE");
  EXPECT_FALSE(nothing.hasOwnTable());
  EXPECT_EQ(nothing.localizedStringWithFormat("finder.expiry.days %lld", 1234), "finder.expiry.days 1.234");
}

TEST_F(LocalizerTest, UppercasesByTheLocale) {
  EXPECT_EQ(in("tr_TR.UTF-8").uppercased("istanbul"), "\u0130STANBUL");
  EXPECT_EQ(in("de_DE").uppercased("Straße"), "STRASSE");
  // Ill-formed UTF-8 comes back as U+FFFD, never as bytes that break later JSON.
  EXPECT_EQ(in("en_US").uppercased(std::string("a\0b\xFF" "x\xED\xA0\x80", 8)), std::string("A\0B\uFFFDX\uFFFD\uFFFD\uFFFD", 16));
}

// Every count text of every shipped language takes the number for every
// category, with no placeholder left. (That every language has every key is
// the doctor's check of the shipped bundle.)
TEST(Localizer, ShippedCountTextsTakeEveryNumber) {
  for (const char* language : {"en", "de", "fr", "es", "ja", "ru", "pl"}) {
    const Localizer localizer(kShipped, language);
    ASSERT_TRUE(localizer.hasOwnTable()) << language;
    for (const char* key : {"finder.action.merge %lld", "finder.expiry.titleMany %lld", "finder.expiry.days %lld"})
      for (const std::int64_t n : {0, 1, 2, 3, 5, 11, 21, 22, 101, 1000000}) {
        const std::string text = localizer.localizedStringWithFormat(key, n);
        EXPECT_TRUE(text.find('%') == std::string::npos && text.find("finder.") == std::string::npos) << language << text;
      }
  }
}

}  // namespace
}  // namespace ferlo
