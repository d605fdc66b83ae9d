#include "platform/locale/po_dictionary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing::Pair;
using testing::UnorderedElementsAre;
using testing::UnorderedElementsAreArray;

constexpr char kHeader[] =
    "# Quillet messages.\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Project-Id-Version: Quillet 1.30\\n\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\n";

TPoDictionary parse(const std::string& text) {
  TPoDictionary dictionary;
  parse_po_dictionary(text, &dictionary);
  return dictionary;
}

struct ParseCase {
  const char* name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> expected;
};

TEST(PoDictionary, ReadsEntries) {
  const ParseCase cases[] = {
      {"header is skipped",
       std::string(kHeader) + "msgid \"ERROR: \"\nmsgstr \"エラー: \"\n",
       {{"ERROR: ", "エラー: "}}},
      {"continued strings join",
       "msgid \"\"\n\"@Usage_Help \"\n\"%Option1%@\"\nmsgstr \"\"\n\"a\"  \n  \"b\"\n",
       {{"@Usage_Help %Option1%@", "ab"}}},
      {"escapes",
       "msgid \"k\"\nmsgstr "
       "\"\\n\\t\\r\\\"\\\\\\'\\?\\a\\b\\f\\v|\\101\\60\\1a|\\x41\\xe3\\x81\\x82"
       "\\x414|\\q\"\n",
       {{"k",
         "\n\t\r\"\\'?\a\b\f\v|A0\x01"
         "a|A\xE3\x81\x82"
         "A4|q"}}},
      {"octal NUL stays in the text",
       "msgid \"k\"\nmsgstr \"a\\0b\"\n",
       {{"k", std::string("a\0b", 3)}}},
      {"fuzzy entries are skipped, other flags are not",
       "#, fuzzy\nmsgid \"a\"\nmsgstr \"A\"\n\n#, c-format, fuzzy\nmsgid \"b\"\nmsgstr \"B\"\n\n"
       "#, c-format\nmsgid \"c\"\nmsgstr \"C\"\n#,fuzzyish\nmsgid \"d\"\nmsgstr \"D\"\n",
       {{"c", "C"}, {"d", "D"}}},
      {"fuzzy flag ends with its entry",
       "#, fuzzy\nmsgid \"a\"\nmsgstr \"A\"\nmsgid \"b\"\nmsgstr \"B\"\n",
       {{"b", "B"}}},
      {"empty translation is not stored",
       "msgid \"a\"\nmsgstr \"\"\n\nmsgid \"b\"\nmsgstr \"B\"\n",
       {{"b", "B"}}},
      {"context gives its own key",
       "msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"開く\"\nmsgid \"Open\"\nmsgstr \"オープン\"\n",
       {{"menu\x04Open", "開く"}, {"Open", "オープン"}}},
      {"plural keeps the first form",
       "msgid \"%N% file\"\nmsgid_plural \"%N% files\"\nmsgstr[0] \"%N% 個\"\n"
       "msgstr[1] \"%N% 個s\"\n",
       {{"%N% file", "%N% 個"}}},
      {"comments and obsolete entries are ignored",
       "# translator\n#. extracted\n#: tag/usage.cpp:12\n#| msgid \"old\"\n"
       "#~ msgid \"gone\"\n#~ msgstr \"GONE\"\nmsgid \"a\"\nmsgstr \"A\"\n",
       {{"a", "A"}}},
      {"CR LF line ends and byte order mark",
       "\xEF\xBB\xBFmsgid \"a\"\r\nmsgstr \"A\"\r\n\r\nmsgid \"b\"\r\nmsgstr \"B\"",
       {{"a", "A"}, {"b", "B"}}},
      {"a later duplicate wins",
       "msgid \"a\"\nmsgstr \"1\"\nmsgid \"a\"\nmsgstr \"2\"\n",
       {{"a", "2"}}},
      {"keyword without blank before the string", "msgid\"a\"\nmsgstr\"A\"\n", {{"a", "A"}}},
  };
  for (const ParseCase& c : cases) {
    EXPECT_THAT(parse(c.text), UnorderedElementsAreArray(c.expected)) << c.name;
  }
}

TEST(PoDictionary, MalformedEntryIsDroppedAndReadingResumes) {
  const std::string good = "msgid \"good\"\nmsgstr \"G\"\n";
  const std::pair<const char*, std::string> broken[] = {
      {"unterminated string", "msgid \"a\nmsgstr \"A\"\n"},
      {"text after the string", "msgid \"a\" x\nmsgstr \"A\"\n"},
      {"backslash at the end", "msgid \"a\"\nmsgstr \"A\\\"\n"},
      {"hex escape without digits", "msgid \"a\"\nmsgstr \"\\xg\"\n"},
      {"unknown keyword", "msgid \"a\"\nmsgstring \"A\"\n"},
      {"msgstr without msgid", "msgstr \"A\"\n"},
      {"second msgstr", "msgid \"a\"\nmsgstr \"A\"\nmsgstr \"B\"\n"},
      {"string without keyword", "\"a\"\nmsgid \"b\"\n"},
      {"unclosed plural index", "msgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0 \"A\"\n"},
      {"garbage", "\x01\xFF\"\\\n"},
  };
  for (const auto& [name, text] : broken) {
    EXPECT_THAT(parse(text + good), UnorderedElementsAre(Pair("good", "G"))) << name;
    EXPECT_THAT(parse(good + text + "\n" + good), UnorderedElementsAre(Pair("good", "G"))) << name;
  }
  // A garbage line before a fuzzy entry does not clear its flag.
  EXPECT_TRUE(parse("junk\n#, fuzzy\nmsgid \"a\"\nmsgstr \"A\"\n").empty());
  // The entry cut off at the end of the text is dropped, the one without final newline is kept.
  EXPECT_THAT(parse(good + "msgid \"a\"\nmsgstr \"A"), UnorderedElementsAre(Pair("good", "G")));
  EXPECT_THAT(parse("msgid \"a\"\nmsgstr \"A\""), UnorderedElementsAre(Pair("a", "A")));
}

TEST(PoDictionary, AnyBytesAreSafe) {
  const std::string sample = std::string(kHeader) +
                             "#, fuzzy\nmsgctxt \"c\"\nmsgid \"a\\x4\"\nmsgid_plural \"b\"\n"
                             "msgstr[0] \"\\101\"\nmsgstr[1] \"\\\"\"\n\"cont\"\n";
  // Every cut of a valid text, as a damaged file would end (the sanitizer build checks bounds).
  for (std::size_t length = 0; length <= sample.size(); ++length) {
    TPoDictionary dictionary;
    parse_po_dictionary(std::string_view(sample.data(), length), &dictionary);
  }
  std::mt19937 random(1234);
  const std::string alphabet = "msgidtrxc_[]0\"\\#, \n\r\t\x04\xFF";
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 200, '\0');
    for (char& c : text) {
      c = round % 2 == 0 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    }
    TPoDictionary dictionary;
    const std::size_t added = parse_po_dictionary(text, &dictionary);
    EXPECT_GE(added, dictionary.size());
  }
  EXPECT_EQ(parse_po_dictionary("msgid \"a\"\nmsgstr \"A\"\n", nullptr), 0u);
}

}  // namespace
