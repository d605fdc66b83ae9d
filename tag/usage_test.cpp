// The usage text as a user reads it, with the shipped dictionaries.
#include "option/startup.h"

#include <gtest/gtest.h>

#include "option/console_test_support.h"

namespace {

const char kEnglish[] =
    "Quillet shows, writes and removes the tag of a Monkey's Audio (.ape) file:\n"
    "the fields Title, Artist, Album, Comment, Year, Genre and Track.\n\n"
    "=== Usage ===\n"
    "quillet [option ...] file\n"
    "The file is the one argument that does not begin with \"-\". Quillet first removes\n"
    "all fields if -Removeall is given, then writes the fields given, and finally\n"
    "lists all seven fields as the file now holds them; with no options it only\n"
    "lists them. Exit code: 0 on success, 1 after an error or this help.\n\n"
    "Options (names in any letter case; the value follows \"=\" or \":\"; put a value\n"
    "that holds blanks in quotes; an empty value, as in -T=, empties the field):\n"
    "  -Title=text    -T=text    title\n"
    "  -Artist=text   -A=text    artist\n"
    "  -Album=text    -L=text    album\n"
    "  -Comment=text  -C=text    comment\n"
    "  -Year=text     -Y=text    year\n"
    "  -Genre=text    -G=text    genre\n"
    "  -Track=text    -R=text    track number\n"
    "  -Charset=set   -CS=set    character set in which fields are written and read:\n"
    "    JIS (J), SHIFT-JIS (S, as Windows writes it) or UTF-8 (U).\n"
    "    Without this option fields are written in UTF-8, and the set of each field\n"
    "    read is detected from its bytes. Most other software reads only UTF-8.\n"
    "  -Removeall                remove all fields before writing\n"
    "  -Help          -?         show this help\n"
    "  -Verbose       -V         show the version and the codec library's details\n\n"
    "Example:\n"
    "  Quillet MyApe.ape -Title=Seasons -Artist=\"Jack and Ken\" -Charset=UTF-8\n\n";

// The text in English; in Japanese the same keys come from the other dictionary, whose every
// key's translation is the dictionaries' test, so here it only has to be spoken.
TEST(Usage, PrintsInEnglishAndJapanese) {
  const auto usage = [](const char* language) {
    TScopedLocale locale(language);
    TCoutCapture out;
    exp_usage();
    return out.Text();
  };
  EXPECT_EQ(usage("C"), kEnglish);
  const std::string japanese = usage("ja_JP.UTF-8");
  EXPECT_NE(japanese.find("\n=== 使い方 ===\nquillet [オプション ...] ファイル\n"),
            std::string::npos)
      << japanese;
  EXPECT_EQ(japanese.find('@'), std::string::npos) << japanese;
}

}  // namespace
