// Message dictionaries and the choice of language.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/locale/po_dictionary.h"

namespace {

TPoDictionary parse(std::string_view text) {
  TPoDictionary dictionary;
  parse_po_dictionary(text, &dictionary);
  return dictionary;
}

TEST(PoDictionary, ReadsEntriesAndDropsMalformedOnes) {
  const std::tuple<const char*, std::string, TPoDictionary> cases[] = {
      {"byte order mark, header, CR LF, continued strings",
       "\xEF\xBB\xBFmsgid \"\"\r\nmsgstr \"\"\r\n\"Content-Type: text/plain; "
       "charset=UTF-8\\n\"\r\n"
       "\r\nmsgid \"\"\n\"@Usage_Help \"\n\"%Option1%@\"\nmsgstr \"\"\n\"a\"  \n  \"b\"",
       {{"@Usage_Help %Option1%@", "ab"}}},
      {"escapes",
       "msgid \"k\"\nmsgstr "
       "\"\\n\\t\\r\\\"\\\\\\'\\?\\a\\b\\f\\v|\\101\\60\\1a|\\x41\\xe3\\x81\\x82"
       "\\x414|\\q\"\n",
       {{"k", "\n\t\r\"\\'?\a\b\f\v|A0\001a|A\343\201\202A4|q"}}},
      {"fuzzy entries are skipped, other flags are not, the flag ends with its entry",
       "#, fuzzy\nmsgid \"a\"\nmsgstr \"A\"\n\n#, c-format, fuzzy\nmsgid \"b\"\nmsgstr "
       "\"B\"\n\n"
       "#, c-format\nmsgid \"c\"\nmsgstr \"C\"\n#,fuzzyish\nmsgid \"d\"\nmsgstr \"D\"\n"
       "#, fuzzy\nmsgid \"x\"\nmsgstr \"X\"\nmsgid \"c\"\nmsgstr \"C2\"\n",
       {{"c", "C2"}, {"d", "D"}}},  // and a later duplicate wins
      {"context gives its own key",
       "msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"開く\"\nmsgid \"Open\"\nmsgstr "
       "\"オープン\"\n",
       {{"menu\x04Open", "開く"}, {"Open", "オープン"}}},
      {"plural keeps the first form",
       "msgid \"%N% file\"\nmsgid_plural \"%N% files\"\nmsgstr[0] \"%N% 個\"\n"
       "msgstr[1] \"%N% 個s\"\n",
       {{"%N% file", "%N% 個"}}},
      {"comments, obsolete entries and empty translations are ignored",
       "# translator\n#. extracted\n#: tag/usage.cpp:12\n#| msgid \"old\"\nmsgid \"e\"\nmsgstr "
       "\"\"\n#~ msgid \"gone\"\n#~ msgstr \"GONE\"\nmsgid \"a\"\nmsgstr \"A\"\n",
       {{"a", "A"}}},
  };
  for (const auto& [name, text, expected] : cases)
    EXPECT_EQ(parse(text), expected) << name;

  // A malformed entry is dropped and reading resumes after it.
  const std::string good = "msgid \"good\"\nmsgstr \"G\"\n";
  const std::pair<const char*, std::string> broken[] = {
      {"unterminated string", "msgid \"a\nmsgstr \"A\"\n"},
      {"backslash at the end", "msgid \"a\"\nmsgstr \"A\\\"\n"},
      {"hex escape without digits", "msgid \"a\"\nmsgstr \"\\xg\"\n"},
      {"msgstr without msgid", "msgstr \"A\"\n"},
      {"unclosed plural index", "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0 \"A\"\n"},
      {"garbage", "\x01\xFF\"\\\n"},
  };
  for (const auto& [name, text] : broken) {
    EXPECT_EQ(parse(text + good), (TPoDictionary{{"good", "G"}})) << name;
    EXPECT_EQ(parse(good + text + "\n" + good), (TPoDictionary{{"good", "G"}})) << name;
  }
  // An entry cut off inside a string is dropped.
  EXPECT_EQ(parse(good + "msgid \"a\"\nmsgstr \"A"), (TPoDictionary{{"good", "G"}}));
  // Every cut of a valid text, in a buffer of its exact size for the sanitizer build.
  const std::string sample =
      "#, fuzzy\nmsgctxt \"c\"\nmsgid \"a\\x4\"\nmsgid_plural \"b\"\n"
      "msgstr[0] \"\\101\"\nmsgstr[1] \"\\\"\"\n\"cont\"\n";
  for (std::size_t length = 0; length <= sample.size(); ++length) {
    const std::vector<char> cut(sample.begin(), sample.begin() + static_cast<long>(length));
    parse({cut.data(), cut.size()});
  }
  EXPECT_EQ(parse_po_dictionary("msgid \"a\"\nmsgstr \"A\"\n", nullptr), 0u);
}

// The language is the first set of LC_ALL, LC_MESSAGES and LANG, its full name before the
// language alone; the later dictionary, and within one the later entry, answers a key.
TEST(BLocale, ChoosesTheLanguageAndTheLaterDictionaryWins) {
  std::string folder = testing::TempDir() + "quillet_locale_XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const auto write = [&folder](const std::string& name,
                               std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::ofstream out(folder + "/" + name + ".po", std::ios::binary);
    for (const auto& [key, text] : entries)
      out << "msgid \"" << key << "\"\nmsgstr \"" << text << "\"\n\n";
  };
  const auto load = [&folder](BLocale& locale, const char* name) {
    return locale.LoadLanguageFile((folder + "/" + name).c_str());
  };
  for (const char* language : {"en", "ja", "fr", "fr_CA", "C"})
    write(std::string("Quillet.") + language, {{"lang", language}});
  std::filesystem::create_directory(folder + "/Quillet.");
  write("Quillet./fr", {{"lang", "outside"}});
  // LC_ALL, LC_MESSAGES and LANG (null: unset), and the language whose dictionary answers.
  const std::pair<std::array<const char*, 3>, const char*> cases[] = {
      {{nullptr, nullptr, "fr_CA.UTF-8"}, "fr_CA"},
      {{nullptr, nullptr, "de_DE"}, "en"},
      {{nullptr, nullptr, nullptr}, "en"},
      {{"ja_JP.UTF-8", "de_DE", "fr_CA"}, "ja"},
      {{"", "ja_JP", "fr_CA"}, "ja"},
      {{"C", "ja_JP", "ja_JP"}, "en"},
      {{nullptr, nullptr, "/fr"}, "en"},  // a name with "/" leads nowhere, here "Quillet./"
      {{nullptr, nullptr, "ja_JP.eucJP@mod"}, "ja"},  // and Japanese for what follows
  };
  for (const auto& [values, expected] : cases) {
    const char* const names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (int i = 0; i < 3; ++i)
      values[i] != nullptr ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
    BLocale locale;
    ASSERT_EQ(load(locale, "Quillet"), B_OK);
    EXPECT_STREQ(locale.GetString("lang"), expected) << testing::PrintToString(values);
  }

  write("VornCommon.ja", {{"shared", "common"}, {"only_common", "C"}, {"emptied", "kept"}});
  write("Quillet.ja", {{"shared", "replaced"}, {"shared", "tool"}, {"emptied", ""}});
  std::filesystem::create_directory(folder + "/Folder.ja.po");
  BLocale locale;
  EXPECT_EQ(load(locale, "Missing"), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(locale.LoadLanguageFile(""), B_BAD_VALUE);
  ASSERT_EQ(load(locale, "VornCommon"), B_OK);
  ASSERT_EQ(load(locale, "Quillet"), B_OK);
  EXPECT_NE(load(locale, "Folder"), B_OK);
  EXPECT_STREQ(locale.GetString("shared"), "tool");
  EXPECT_STREQ(locale.GetString("only_common"), "C");
  EXPECT_STREQ(locale.GetString("emptied"), "kept");

  // Translations stay put while more dictionaries load; an unknown key is its own answer.
  const char* shared = locale.GetString("shared");
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(load(locale, "VornCommon"), B_OK);
  EXPECT_STREQ(shared, "tool");
  const char* key = "@Err_Unknown_Option %Option%@";
  EXPECT_EQ(locale.GetString(key), key);
  EXPECT_STREQ(BLocale().GetString(nullptr), "");
  std::filesystem::remove_all(folder);
}

}  // namespace
