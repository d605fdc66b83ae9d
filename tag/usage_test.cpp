#include "tag/usage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "option/console_test_support.h"

namespace {

const char kUsageWithoutDictionaries[] =
    "@Tag_Overview Quillet@\n"
    "\n"
    "=== Usage ===\n"
    "@Tag_Cmd_Format@\n"
    "\n"
    "Option (Case insensitive):\n"
    "  @Usage_Title -Title -T@\n"
    "  @Usage_Artist -Artist -A@\n"
    "  @Usage_Album -Album -L@\n"
    "  @Usage_Comment -Comment -C@\n"
    "  @Usage_Year -Year -Y@\n"
    "  @Usage_Genre -Genre -G@\n"
    "  @Usage_Track -Track -R@\n"
    "  @Usage_Char_Set -Charset -CS@\n"
    "    @Usage_Char_Set_Detail JIS J SHIFT-JIS S UTF-8 U@\n"
    "  @Usage_Remove_All -Removeall@\n"
    "  @Usage_Help -Help -?@\n"
    "  @Usage_Verbose -Verbose -V@\n"
    "\n"
    "Example:\n"
    "  Quillet MyApe.ape -Title=Seasons -Artist=\"Jack and Ken\" -Charset=UTF-8\n"
    "\n";

std::string usage_text() {
  TCoutCapture out;
  exp_usage();
  return out.Text();
}

TEST(Usage, WithoutDictionariesEveryKeyPrintsItselfFilledIn) {
  TScopedLocale locale;
  EXPECT_EQ(usage_text(), kUsageWithoutDictionaries);
}

TEST(Usage, LineLackingAPlaceholderIsStillWritten) {
  TTempFolder folder;
  TScopedLocale locale;
  ASSERT_EQ(locale.Load(folder.Path(), "Quillet",
                        "msgid \"@Usage_Title %Option1% %Option2%@\"\n"
                        "msgstr \"%Option2% sets the title\"\n"),
            0);
  const std::string text = usage_text();
  EXPECT_NE(text.find("\n  -T sets the title\n  @Usage_Artist"), std::string::npos) << text;
}

// The shipped dictionaries must leave no key unanswered and show every option and
// character-set name, in English and in Japanese.
TEST(Usage, ShippedDictionariesShowEveryOption) {
  for (const char* language : {"C", "ja_JP.UTF-8"}) {
    SCOPED_TRACE(language);
    TScopedLocale locale;
    setenv("LC_ALL", language, 1);
    const std::string folder = std::string(QUILLET_SOURCE_DIR) + "/Language/Dictionaries/";
    ASSERT_EQ(be_locale->LoadLanguageFile((folder + "VornCommon").c_str()), 0);
    ASSERT_EQ(be_locale->LoadLanguageFile((folder + "Quillet").c_str()), 0);
    const std::string text = usage_text();
    EXPECT_EQ(text.find('@'), std::string::npos) << text;
    for (const char* shown : {"Quillet", "-Title", "-Artist", "-Album", "-Comment", "-Year",
                              "-Genre", "-Track", "-Charset", "-CS", "JIS", "SHIFT-JIS", "UTF-8",
                              "-Removeall", "-Help", "-?", "-Verbose"}) {
      EXPECT_NE(text.find(shown), std::string::npos) << shown;
    }
    EXPECT_NE(text.find("  Quillet MyApe.ape -Title=Seasons"), std::string::npos);
  }
  unsetenv("LC_ALL");
}

}  // namespace
