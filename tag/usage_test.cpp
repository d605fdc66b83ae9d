// The usage text as a user reads it, with the shipped dictionaries.
#include "tag/usage.h"

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

const char kJapanese[] =
    "Quillet は Monkey's Audio (.ape) ファイルのタグを表示し、書き込み、削除します。\n"
    "扱う項目はタイトル、アーティスト、アルバム、コメント、年、ジャンル、トラックです。\n\n"
    "=== 使い方 ===\n"
    "quillet [オプション ...] ファイル\n"
    "「-」で始まらない引数が対象のファイルです。Quillet は -Removeall があれば\n"
    "まず全項目を削除し、次に指定された項目を書き込み、最後にファイルの今の内容\n"
    "どおりに 7 項目すべてを表示します。オプションがなければ表示だけを行います。\n"
    "終了コード: 成功すれば 0、エラーのときとこのヘルプを表示したときは 1。\n\n"
    "オプション (名前の大文字と小文字は区別しません。値は「=」か「:」の後に\n"
    "書きます。空白を含む値は引用符で囲みます。-T= のように値が空なら、その項目を\n"
    "空にします):\n"
    "  -Title=文字列    -T=文字列   タイトル\n"
    "  -Artist=文字列   -A=文字列   アーティスト\n"
    "  -Album=文字列    -L=文字列   アルバム\n"
    "  -Comment=文字列  -C=文字列   コメント\n"
    "  -Year=文字列     -Y=文字列   年\n"
    "  -Genre=文字列    -G=文字列   ジャンル\n"
    "  -Track=文字列    -R=文字列   トラック番号\n"
    "  -Charset=名前    -CS=名前    項目を書き込み、読み出すときの文字コード:\n"
    "    JIS (J)、SHIFT-JIS (S、Windows の形式)、UTF-8 (U) のいずれか。\n"
    "    指定しなければ UTF-8 で書き込み、読み出した項目はバイト列から項目ごとに\n"
    "    文字コードを判定します。ほかの多くのソフトは UTF-8 しか読めません。\n"
    "  -Removeall                   書き込む前に全項目を削除\n"
    "  -Help            -?          このヘルプを表示\n"
    "  -Verbose         -V          バージョンとコーデックライブラリの情報を表示\n\n"
    "例:\n"
    "  Quillet MyApe.ape -Title=Seasons -Artist=\"Jack and Ken\" -Charset=UTF-8\n\n";

TEST(Usage, PrintsInEnglishAndJapanese) {
  for (const auto& [language, expected] : {std::pair{"C", kEnglish}, {"ja_JP.UTF-8", kJapanese}}) {
    TScopedLocale locale(language);
    TCoutCapture out;
    exp_usage();
    EXPECT_EQ(out.Text(), expected) << language;
  }
}

}  // namespace
