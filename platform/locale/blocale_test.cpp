#include "platform/locale/blocale.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string entry(const std::string& key, const std::string& text) {
  return "msgid \"" + key + "\"\nmsgstr \"" + text + "\"\n\n";
}

// Each test gets its own folder of dictionaries and a clean locale environment.
class BLocaleTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "quillet_locale_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fFolder = pattern + "/";
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
      unsetenv(name);
    }
  }
  void TearDown() override { fs::remove_all(fFolder); }

  void Write(const std::string& file, const std::string& text) {
    std::ofstream(fFolder + file, std::ios::binary) << text;
  }
  // Writes one dictionary per language, each translating "lang" to its language's name.
  void WriteLanguages(std::initializer_list<const char*> languages) {
    for (const char* language : languages) {
      Write(std::string("Quillet.") + language + ".po", entry("lang", language));
    }
  }
  std::string Chosen(const char* lc_all, const char* lc_messages, const char* lang) {
    const std::pair<const char*, const char*> variables[] = {
        {"LC_ALL", lc_all}, {"LC_MESSAGES", lc_messages}, {"LANG", lang}};
    for (const auto& [name, value] : variables) {
      if (value != nullptr) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
    BLocale locale;
    if (locale.LoadLanguageFile((fFolder + "Quillet").c_str()) != B_OK) {
      return "(none)";
    }
    return locale.GetString("lang");
  }

  std::string fFolder;
};

TEST_F(BLocaleTest, ChoosesTheLanguageFromTheEnvironment) {
  WriteLanguages({"en", "ja", "fr_CA"});
  struct Case {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, "ja_JP.UTF-8", "ja"},
      {nullptr, nullptr, "ja_JP.eucJP@mod", "ja"},
      {nullptr, nullptr, "ja", "ja"},
      {nullptr, nullptr, "fr_CA.UTF-8", "fr_CA"},
      {nullptr, nullptr, "fr", "en"},
      {nullptr, nullptr, "de_DE.UTF-8", "en"},
      {nullptr, nullptr, "C", "en"},
      {nullptr, nullptr, "C.UTF-8", "en"},
      {nullptr, nullptr, "POSIX", "en"},
      {nullptr, nullptr, "", "en"},
      {nullptr, nullptr, nullptr, "en"},
      {"ja_JP.UTF-8", "de_DE", "fr_CA", "ja"},
      {"", "ja_JP", "fr_CA", "ja"},
      {nullptr, "", "fr_CA", "fr_CA"},
      {"C", "ja_JP", "ja_JP", "en"},
      {nullptr, nullptr, "../../ja", "en"},
      {nullptr, nullptr, "_JP", "en"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Chosen(c.lc_all, c.lc_messages, c.lang), c.expected)
        << "LC_ALL=" << (c.lc_all ? c.lc_all : "(unset)")
        << " LC_MESSAGES=" << (c.lc_messages ? c.lc_messages : "(unset)")
        << " LANG=" << (c.lang ? c.lang : "(unset)");
  }
  WriteLanguages({"ja_JP"});
  EXPECT_EQ(Chosen(nullptr, nullptr, "ja_JP.UTF-8"), "ja_JP");
}

TEST_F(BLocaleTest, MissingDictionaryIsAnErrorAndChangesNothing) {
  setenv("LANG", "ja_JP.UTF-8", 1);
  BLocale locale;
  EXPECT_EQ(locale.LoadLanguageFile((fFolder + "Quillet").c_str()), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(locale.LoadLanguageFile(nullptr), B_BAD_VALUE);
  EXPECT_EQ(locale.LoadLanguageFile(""), B_BAD_VALUE);
  fs::create_directory(fFolder + "Quillet.en.po");
  EXPECT_NE(locale.LoadLanguageFile((fFolder + "Quillet").c_str()), B_OK);

  Write("VornCommon.ja.po", entry("k", "common"));
  ASSERT_EQ(locale.LoadLanguageFile((fFolder + "VornCommon").c_str()), B_OK);
  EXPECT_NE(locale.LoadLanguageFile((fFolder + "Missing").c_str()), B_OK);
  EXPECT_STREQ(locale.GetString("k"), "common");
}

TEST_F(BLocaleTest, LaterDictionaryOverridesEarlier) {
  Write("VornCommon.en.po", entry("shared", "common") + entry("only_common", "C") +
                                entry("emptied", "kept") + entry("TARVIK", "TARVIK"));
  Write("Quillet.en.po",
        entry("shared", "tool") + entry("emptied", "") + entry("TARVIK", "ＴＡＲＶＩＫ"));
  BLocale locale;
  ASSERT_EQ(locale.LoadLanguageFile((fFolder + "VornCommon").c_str()), B_OK);
  ASSERT_EQ(locale.LoadLanguageFile((fFolder + "Quillet").c_str()), B_OK);
  EXPECT_STREQ(locale.GetString("shared"), "tool");
  EXPECT_STREQ(locale.GetString("only_common"), "C");
  EXPECT_STREQ(locale.GetString("emptied"), "kept");
  EXPECT_STREQ(locale.GetString("TARVIK"), "ＴＡＲＶＩＫ");

  // Translations stay where they are while more dictionaries load.
  const char* shared = locale.GetString("shared");
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(locale.LoadLanguageFile((fFolder + "VornCommon").c_str()), B_OK);
  }
  EXPECT_STREQ(shared, "tool");
}

TEST_F(BLocaleTest, UnknownKeyComesBackAsItself) {
  const char* key = "@Err_Unknown_Option %Option%@";
  BLocale empty;
  EXPECT_EQ(empty.GetString(key), key);
  EXPECT_STREQ(empty.GetString(nullptr), "");
  Write("Quillet.en.po", entry("other", "x"));
  BLocale locale;
  ASSERT_EQ(locale.LoadLanguageFile((fFolder + "Quillet").c_str()), B_OK);
  EXPECT_EQ(locale.GetString(key), key);
  EXPECT_EQ(locale.GetString(""), std::string());

  ASSERT_NE(be_locale, nullptr);
  ASSERT_EQ(be_locale->LoadLanguageFile((fFolder + "Quillet").c_str()), B_OK);
  EXPECT_STREQ(be_locale->GetString("other"), "x");
}

}  // namespace
