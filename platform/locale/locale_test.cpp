// The kits of the text a user reads: placeholders, the console, the Japanese sets, dictionaries.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/locale/po_dictionary.h"
#include "platform/support/bstring.h"
#include "platform/support/console_stream.h"
#include "platform/textencoding/utf8_conversions.h"

namespace {

TEST(BString, ReplaceAll) {
  const std::tuple<std::string, const char*, const char*, int32, std::string> cases[] = {
      {"@Err %Option% and %Option%@", "%Option%", "-X", 0, "@Err -X and -X@"},
      {"aaa", "aa", "b", 0, "ba"},
      // Replacements that contain the searched text are not searched again.
      {"x%N%y", "%N%", "%N%%N%", 0, "x%N%%N%y"},
      // An occurrence that starts before the offset does not match, even if it ends after it.
      {"abcabc", "abc", "X", 1, "abcX"},
      {"a-a-a", "a", "b", 6, "a-a-a"},
      {"a-a-a", "a", "b", -3, "b-b-b"},
      {"text", nullptr, "X", 0, "text"},
      {"text", "t", nullptr, 0, "ex"},
      // Bytes (NUL, UTF-8) pass through unchanged.
      {std::string("a\0a", 3), "a", "\xE3\x81\x82", 0,
       std::string("\xE3\x81\x82\0\xE3\x81\x82", 7)},
  };
  for (const auto& [text, replace_this, with_this, from_offset, expected] : cases) {
    BString s(text);
    s.ReplaceAll(replace_this, with_this, from_offset);
    EXPECT_EQ(s.Text(), expected) << text << " from " << from_offset;
  }
}

std::string drain(int fd) {
  char buffer[256];
  const ssize_t count = read(fd, buffer, sizeof buffer);
  return std::string(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
}

// A reader of a pipe sees each line of a run when it ends, not when the process does.
TEST(ConsoleStream, WritesEachLineWhenItEnds) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
  {
    TConsoleStream stream(ends[1]);
    stream << "Title: " << std::string("Seasons") << ' ' << static_cast<const char*>(nullptr);
    EXPECT_EQ(drain(ends[0]), "");
    stream << console::endl;
    EXPECT_EQ(drain(ends[0]), "Title: Seasons \n");
    stream << "\rDone 50% " << console::flush;
    EXPECT_EQ(drain(ends[0]), "\rDone 50% ");
    stream << "unended";
  }
  EXPECT_EQ(drain(ends[0]), "unended");  // what is left goes out when the stream ends
  close(ends[0]);
  close(ends[1]);
}

// Only what a terminal would act on is escaped; continuation bytes 0x80-0x9F of a character
// pass whole. The program's own test at a terminal shows the other C0 controls and DEL.
TEST(ConsoleStream, MakesControlBytesVisibleWithoutBreakingCharacters) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"plain \\ text", "plain \\ text"},
      {std::string_view("a\0b", 3), "a\\000b"},
      // U+009B and U+0085 are C1 controls; U+00A0 is not.
      {"\xc2\2331m\xc2\x85\xc2\xa0", "\\302\\2331m\\302\\205\xc2\xa0"},
      // せ (E3 81 9B), 春 (E6 98 A5), 𝄞 (F0 9D 84 9E): continuation bytes in 0x80-0x9F.
      {"\xe3\x81\x9b\xe6\x98\xa5\xf0\x9d\x84\x9e", "\xe3\x81\x9b\xe6\x98\xa5\xf0\x9d\x84\x9e"},
      // Stray bytes: 0x80-0x9F is escaped, other bytes are left to the terminal.
      {"\23331m\xe9\xff", "\\23331m\xe9\xff"},
      // Not well-formed, so their 0x80-0x9F bytes stand alone: an overlong ESC, a surrogate,
      // a code point past U+10FFFF, a character cut short at the end.
      {"\xc0\x9b", "\xc0\\233"},
      {"\xed\xa0\x80", "\xed\xa0\\200"},
      {"\xf4\x90\x80\x80", "\xf4\\220\\200\\200"},
      {"x\xe3\x81", "x\xe3\\201"},
  };
  for (const auto& [text, expected] : cases) {
    std::string shown = "kept:";
    append_visible(text, &shown);
    EXPECT_EQ(shown, "kept:" + std::string(expected)) << text;
  }
}

// Runs one conversion with `room` bytes of room: its status, text and count of bytes consumed.
using TResult = std::tuple<status_t, std::string, int32>;
TResult run(bool to_utf8, uint32 encoding, const std::string& source, int32 room = 4096) {
  std::string buffer(static_cast<std::size_t>(room), '\0');
  int32 source_length = static_cast<int32>(source.size());
  int32 destination_length = room;
  int32 state = 0;
  const auto convert = to_utf8 ? convert_to_utf8 : convert_from_utf8;
  const status_t status = convert(encoding, source.data(), &source_length, buffer.data(),
                                  &destination_length, &state, B_SUBSTITUTE);
  return {status, buffer.substr(0, static_cast<std::size_t>(destination_length)), source_length};
}

constexpr bool kTo = true, kFrom = false;
constexpr uint32 kSjis = B_SJIS_CONVERSION, kJis = B_JIS_CONVERSION;

// Shift-JIS as Windows has it (CP932); no mapping, or a character cut off at the end, gives 0x1A.
// With less room the conversion stops between characters: its output is what converting the
// consumed part alone gives, and JIS ends in ASCII.
TEST(Utf8Conversions, ConvertsAsWindowsDoesAndCutsAtACharacterBoundary) {
  const std::tuple<bool, uint32, std::string, std::string> cases[] = {
      {kTo, kSjis, "a\x5C\x7E\xB1", "a\\~\uFF71"},
      {kTo, kSjis, "\x81\x60\x87\x40\xFA\x5C\xED\x40", "\uFF5E\u2460\u7E8A\u7E8A"},
      {kTo, kSjis, "\x80-\x81 a\x81", "\x1A-\x1A a\x1A"},
      {kFrom, kSjis, "\\~\u00A5\u20AC", "\x5C\x7E\x5C\x1A"},
      {kFrom, kSjis, "\u301C\uFF5E\u2460\u7E8A", "\x81\x60\x81\x60\x87\x40\xFA\x5C"},
      {kFrom, kSjis, "\xFF-\xED\xA0\x80-\xE3-za\xE3\x81",
       "\x1A-\x1A-\x1A-za\x1A"},  // never swallows what follows
      {kFrom, kJis, "あ\u20ACい", "\x1B$B\x24\x22\x1B(B\x1A\x1B$B\x24\x24\x1B(B"},
      {kFrom, kJis, "\u00A5\u301C", "\x1B(J\x5C\x1B$B\x21\x41\x1B(B"},
      {kFrom, kJis, "\u2460\uFF5E", "\x1A\x1A"},  // outside JIS X 0208
      {kTo, kJis, "\x1B$@\x24\x22\x1B$B\x2D\x21\x79\x21\x21\x41", "あ\u2460\u7E8A\uFF5E"},
      {kTo, kJis, "\x1B(I\x31\x1B(B-\x0E\x31\x0F\x31\x1B(J\x5C~", "\uFF71-\uFF711\\~"},
      {kTo, kJis, "\x1B$B\x24\x22\n\x24\n", "あ\n\x1A\n"},
      {kTo, kJis, "\x1B$(D\x30\x21\x1B(B-\xA4", "\x1A-\x1A"},
      {kTo, kJis, "\x1B(Zba\x1B$", "\x1B(Zba\x1A"},
  };
  for (const auto& [to_utf8, encoding, source, expected] : cases) {
    SCOPED_TRACE(source);
    EXPECT_EQ(run(to_utf8, encoding, source),
              TResult(B_OK, expected, static_cast<int32>(source.size())));
    // An escape it does not know is passed on byte by byte: a cut in it cuts no character.
    const bool passes_escape = to_utf8 && expected.find('\x1B') != std::string::npos;
    for (int32 room = 0; !passes_escape && room <= static_cast<int32>(expected.size()); ++room) {
      const auto [status, text, consumed] = run(to_utf8, encoding, source, room);
      ASSERT_EQ(status, B_OK) << "room " << room;
      EXPECT_EQ(text, std::get<1>(run(to_utf8, encoding, source.substr(0, consumed))))
          << "room " << room;
      const std::size_t last_escape = text.rfind('\x1B');
      if (!to_utf8 && last_escape != std::string::npos) {
        EXPECT_EQ(text.substr(last_escape, 3), "\x1B(B") << "room " << room;
      }
    }
    EXPECT_EQ(std::get<1>(run(to_utf8, encoding, source, static_cast<int32>(expected.size()))),
              expected);
  }
  EXPECT_EQ(std::get<0>(run(kTo, 12, "abc", 8)), B_BAD_VALUE);  // an encoding of neither set
}

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
