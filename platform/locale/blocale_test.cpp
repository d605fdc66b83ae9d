#include "platform/locale/blocale.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

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
  void TearDown() override { std::filesystem::remove_all(fFolder); }

  // Writes the dictionary `file` with one entry per key and translation.
  void Write(const std::string& file,
             std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::ofstream out(fFolder + file, std::ios::binary);
    for (const auto& [key, text] : entries) {
      out << "msgid \"" << key << "\"\nmsgstr \"" << text << "\"\n\n";
    }
  }
  status_t Load(BLocale& locale, const char* name) {
    return locale.LoadLanguageFile((fFolder + name).c_str());
  }

  std::string fFolder;
};

TEST_F(BLocaleTest, ChoosesTheLanguageFromTheEnvironment) {
  for (const char* language : {"en", "ja", "fr", "fr_CA"}) {
    Write(std::string("Quillet.") + language + ".po", {{"lang", language}});
  }
  // LC_ALL, LC_MESSAGES and LANG (null: unset), and the language whose dictionary answers.
  const struct {
    const char* values[3];
    const char* expected;
  } cases[] = {
      {{nullptr, nullptr, "ja_JP.eucJP@mod"}, "ja"},
      {{nullptr, nullptr, "fr_CA.UTF-8"}, "fr_CA"},  // the full name before the language alone
      {{nullptr, nullptr, "de_DE"}, "en"},
      {{nullptr, nullptr, nullptr}, "en"},
      {{"ja_JP.UTF-8", "de_DE", "fr_CA"}, "ja"},
      {{"", "ja_JP", "fr_CA"}, "ja"},
      {{"C", "ja_JP", "ja_JP"}, "en"},
      {{nullptr, nullptr, "../../ja"}, "en"},
  };
  int row = 0;
  for (const auto& c : cases) {
    const char* const names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (int i = 0; i < 3; ++i)
      c.values[i] != nullptr ? setenv(names[i], c.values[i], 1) : unsetenv(names[i]);
    BLocale locale;
    ASSERT_EQ(Load(locale, "Quillet"), B_OK);
    EXPECT_STREQ(locale.GetString("lang"), c.expected) << "row " << ++row;
  }
}

// The later dictionary, and within one the later entry, answers a key.
TEST_F(BLocaleTest, LaterDictionaryWinsAndFailedLoadsChangeNothing) {
  setenv("LANG", "ja_JP.UTF-8", 1);
  Write("VornCommon.ja.po", {{"shared", "common"}, {"only_common", "C"}, {"emptied", "kept"}});
  Write("Quillet.ja.po", {{"shared", "replaced"}, {"shared", "tool"}, {"emptied", ""}});
  std::filesystem::create_directory(fFolder + "Folder.ja.po");
  BLocale locale;
  EXPECT_EQ(Load(locale, "Missing"), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(locale.LoadLanguageFile(""), B_BAD_VALUE);
  ASSERT_EQ(Load(locale, "VornCommon"), B_OK);
  ASSERT_EQ(Load(locale, "Quillet"), B_OK);
  EXPECT_NE(Load(locale, "Folder"), B_OK);
  EXPECT_STREQ(locale.GetString("shared"), "tool");
  EXPECT_STREQ(locale.GetString("only_common"), "C");
  EXPECT_STREQ(locale.GetString("emptied"), "kept");

  // Translations stay where they are while more dictionaries load; unknown keys come back as
  // the very same pointer.
  const char* shared = locale.GetString("shared");
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(Load(locale, "VornCommon"), B_OK);
  }
  EXPECT_STREQ(shared, "tool");
  const char* key = "@Err_Unknown_Option %Option%@";
  EXPECT_EQ(locale.GetString(key), key);
  EXPECT_STREQ(BLocale().GetString(nullptr), "");
}

}  // namespace
