// The string table as the window's tests and the user see it: exact texts (line breaks and odd
// spacing included) and the placeholder filling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/Strings.h"

namespace velmar {
namespace {

constexpr Language kTranslations[] = {Language::German, Language::French, Language::Japanese,
                                      Language::Dutch};

// Switches the table's language for one test and back to English after it.
class InLanguage {
 public:
  explicit InLanguage(Language language) { SetLanguage(language); }
  ~InLanguage() { SetLanguage(Language::English); }
};

// The placeholders and printf conversions of a text, sorted: "%1!s!", "%2!d!", "%d", "%%".
std::vector<std::string> Placeholders(std::string_view text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    size_t end = i + 1;
    if (end < text.size() && text[end] == '%') {
      ++end;
    } else if (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      if (end < text.size() && text[end] == '!')
        end = std::min(text.find('!', end + 1), text.size() - 1) + 1;
    } else if (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) {
      ++end;
    }
    found.emplace_back(text.substr(i, end - i));
    i = end - 1;
  }
  std::sort(found.begin(), found.end());
  return found;
}

size_t Count(std::string_view text, std::string_view what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80         ? 1
                          : (lead >> 5) == 6  ? 2
                          : (lead >> 4) == 14 ? 3
                          : (lead >> 3) == 30 ? 4
                                              : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

TEST(Languages, EveryTranslationCarriesEveryIdWithTheSamePlaceholdersAndBreaks) {
  const std::vector<int> ids = AllStringIds();
  ASSERT_EQ(ids.front(), kStrAboutMenu);
  ASSERT_EQ(ids.back(), kStrReportPending);
  for (Language language : kTranslations) {
    for (int id : ids) {
      SCOPED_TRACE("language " + std::to_string(static_cast<int>(language)) + ", string " +
                   std::to_string(id));
      const std::string* text = OwnText(language, id);
      ASSERT_NE(text, nullptr);
      const std::string& english = *OwnText(Language::English, id);
      EXPECT_FALSE(text->empty());
      EXPECT_EQ(Placeholders(*text), Placeholders(english));
      EXPECT_EQ(Count(*text, "\r\n"), Count(english, "\r\n"));
      EXPECT_EQ(Count(*text, "\n"), Count(english, "\n"));
      if (id == kStrAboutMenu) {
        EXPECT_EQ(Count(*text, "&"), 1u) << "the menu's accelerator";
      }
      EXPECT_TRUE(IsUtf8(*text));
    }
    EXPECT_EQ(OwnText(language, 99999), nullptr);
  }
}

TEST(Languages, TranslationsShowAndFillTheirTexts) {
  {
    InLanguage german(Language::German);
    EXPECT_EQ(CurrentLanguage(), Language::German);
    EXPECT_EQ(FormatMessage(kStrLoadingDatabase, 2, 7),
              "Datenbank 2/7 wird geladen... Bitte warten.");
    EXPECT_EQ(PercentText(42), "42 %");
    EXPECT_EQ(LoadString(121), "") << "an unknown id stays empty in every language";
  }
  {
    InLanguage japanese(Language::Japanese);
    EXPECT_EQ(FormatMessage(kStrLoadingOption, "OPT_7"), "オプションを読み込んでいます: OPT_7");
    EXPECT_EQ(PortSuffixText(4), " (COM4)");
  }
  EXPECT_EQ(FormatMessage(99999, "x"), "");
}

TEST(Languages, LocaleNames) {
  using enum Language;
  const std::pair<const char*, Language> cases[] = {
      {"de_DE.UTF-8", German}, {"de", German}, {"de_AT@euro", German}, {"DE-de", German},
      {"fr", French}, {"fr_CA.UTF-8", French}, {"ja_JP", Japanese}, {"ja_JP.eucJP", Japanese},
      {"nl_BE", Dutch}, {"nl_NL.UTF-8@euro", Dutch}, {"en_GB.UTF-8", English}, {"C", English},
      {"C.UTF-8", English}, {"POSIX", English}, {"", English}, {"sv_SE.UTF-8", English},
      {"d", English}, {"deu_DE", English}, {"nld", English}, {".UTF-8", English}};
  for (const auto& [locale, language] : cases)
    EXPECT_EQ(LanguageFromLocale(locale), language) << "locale \"" << locale << "\"";
}

TEST(Languages, EnvironmentOrderAsGettextHasIt) {
  using Env = std::map<std::string, std::string>;
  auto from = [](const Env& env) {
    return LanguageFromEnvironment([&](const char* name) -> const char* {
      const auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    });
  };
  EXPECT_EQ(from({}), Language::English);
  EXPECT_EQ(from({{"LANG", "de_DE.UTF-8"}}), Language::German);
  EXPECT_EQ(from({{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}), Language::French);
  EXPECT_EQ(from({{"LC_ALL", "ja_JP.UTF-8"}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "de"}}),
            Language::Japanese);
  EXPECT_EQ(from({{"LC_ALL", ""}, {"LANG", "nl_BE.UTF-8"}}), Language::Dutch)
      << "an empty variable counts as unset";
  EXPECT_EQ(from({{"LANGUAGE", "sv:nl:de"}, {"LANG", "en_US.UTF-8"}}), Language::Dutch)
      << "the first language of the list that the table carries";
  EXPECT_EQ(from({{"LANGUAGE", "sv:pt_BR"}, {"LANG", "fr_FR.UTF-8"}}), Language::French);
  EXPECT_EQ(from({{"LANGUAGE", "en:de"}, {"LANG", "de_DE.UTF-8"}}), Language::English);
  EXPECT_EQ(from({{"LANGUAGE", "::ja"}, {"LANG", "de_DE.UTF-8"}}), Language::Japanese);
  // A C locale means untranslated whatever LANGUAGE says: LC_ALL=C gives English output.
  EXPECT_EQ(from({{"LANGUAGE", "de"}, {"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}),
            Language::English);
  EXPECT_EQ(from({{"LANGUAGE", "de"}}), Language::English);
  EXPECT_EQ(from({{"LANGUAGE", "de"}, {"LANG", "C.UTF-8"}}), Language::English);
}

TEST(FormatMessage, FillsNumbersAndTextsByPosition) {
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase, {12, 40}),
            "Loading database 12/40.... Please wait.");
  EXPECT_EQ(FormatMessage(kStrLoadingOption, std::string()), "Loading option : ");
  // Arguments go by number, not by order of appearance.
  EXPECT_EQ(FormatMessage("%2!s! before %1!d!", 7, "text"), "text before 7");
  EXPECT_EQ(FormatMessage("%1 and %1!s!", "a"), "a and a");
  EXPECT_EQ(FormatMessage("%1!d!", -42), "-42");
  EXPECT_EQ(FormatMessage("%1!d!", 4294967295ull), "4294967295");
}

TEST(FormatMessage, MissingArgumentsStayEmptyAndOtherPercentsStay) {
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase, 2), "Loading database 2/.... Please wait.");
  EXPECT_EQ(FormatMessage(kStrLoadingDatabase), "Loading database /.... Please wait.");
  EXPECT_EQ(FormatMessage("%99!s!|%12!d!|", 1), "||");
  EXPECT_EQ(FormatMessage("100%% done %", 1), "100%% done %");
  EXPECT_EQ(FormatMessage("%0 %x %!s!", 1), "%0 %x %!s!");
  // A "!" without its closing partner is plain text after the placeholder.
  EXPECT_EQ(FormatMessage("%1!s", "v"), "v!s");
  // Three digits: the first two make the number, the third is text.
  EXPECT_EQ(FormatMessage("%123", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"),
            "l3");
  // A text argument is never read as a format.
  EXPECT_EQ(FormatMessage("%1!s!", "%1!s! %2!d! %n %s"), "%1!s! %2!d! %n %s");
}

}  // namespace
}  // namespace velmar
