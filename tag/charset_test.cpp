#include "tag/charset.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kNihonUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
const std::string kNihonShiftJis = "\x93\xFA\x96\x7B";
const std::string kNihonJis = "\x1B$BF|K\\\x1B(B";

std::string repeat(const std::string& text, std::size_t count) {
  std::string result;
  for (std::size_t i = 0; i < count; ++i) {
    result += text;
  }
  return result;
}

// A buffer of exactly `size` bytes on the heap, so that the sanitizers see any write past it.
std::vector<char> field_buffer(const std::string& text, int size) {
  std::vector<char> buffer(static_cast<std::size_t>(size), '\x55');
  const std::size_t length = std::min(text.size(), buffer.size() - 1);
  std::memcpy(buffer.data(), text.data(), length);
  buffer[length] = '\0';
  return buffer;
}

std::string from_utf8(uint32 char_set, const std::string& value, int size = 2048) {
  TTagOption option;
  option.char_set = char_set;
  std::vector<char> buffer(static_cast<std::size_t>(size), '\x55');
  convert_from_utf8(option, value, buffer.data(), size);
  EXPECT_NE(std::memchr(buffer.data(), '\0', buffer.size()), nullptr) << "not terminated";
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::string to_utf8(uint32 char_set, const std::string& field, int size = 2048) {
  TTagOption option;
  option.char_set = char_set;
  std::vector<char> buffer = field_buffer(field, size);
  convert_to_utf8(option, buffer.data(), size);
  EXPECT_NE(std::memchr(buffer.data(), '\0', buffer.size()), nullptr) << "not terminated";
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

TEST(Charset, DetectsTheSetOfAFieldFromItsStructure) {
  struct Case {
    const char* name;
    std::string text;
    uint32 expected;
  };
  const Case cases[] = {
      {"empty", "", kCharSetUtf8},
      {"ascii", "Seasons", kCharSetUtf8},
      {"utf-8 japanese", kNihonUtf8, kCharSetUtf8},
      {"shift-jis", kNihonShiftJis, kCharSetShiftJis},
      {"shift-jis half-width kana", "\xB1\xB2", kCharSetShiftJis},
      {"jis", kNihonJis, kCharSetJis},
      {"esc outweighs invalid sequences", "\x93\x81\x1B$B", kCharSetJis},
      {"esc after a whole sequence", "\xC3\xA9\x1B", kCharSetJis},
      {"lone lead byte at the end", "abc\xC3", kCharSetShiftJis},
      {"three-byte sequence cut short", "\xE6\x97", kCharSetShiftJis},
      {"lone 0xFF", "\xFF", kCharSetShiftJis},
      {"esc inside a sequence is no esc", "\xC3\x1B", kCharSetShiftJis},
      {"esc inside a longer sequence", "\xE6\x1B\xA5", kCharSetShiftJis},
      {"continuation byte at a start", "a\x80", kCharSetShiftJis},
      // Only the structure counts: overlong forms, surrogates and long lead bytes pass.
      {"overlong", "\xC0\x80", kCharSetUtf8},
      {"surrogate", "\xED\xA0\x80", kCharSetUtf8},
      {"five-byte form", "\xF8\x88\x80\x80\x80", kCharSetUtf8},
      {"0xFF with seven continuations", "\xFF\x80\x80\x80\x80\x80\x80\x80", kCharSetUtf8},
      {"0xFF with six continuations", "\xFF\x80\x80\x80\x80\x80\x80", kCharSetShiftJis},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // An exact-size copy: a lead byte near the end must not make the scan read past the NUL.
    std::vector<char> text(c.text.begin(), c.text.end());
    text.push_back('\0');
    EXPECT_EQ(detect_charset(text.data()), c.expected);
  }
  EXPECT_EQ(detect_charset(nullptr), kCharSetUtf8);
}

TEST(Charset, WritingConvertsOnlyForShiftJisAndJis) {
  struct Case {
    const char* name;
    uint32 char_set;
    std::string value;
    std::string stored;
  };
  const Case cases[] = {
      {"automatic keeps bytes", kCharSetAuto, kNihonUtf8, kNihonUtf8},
      {"utf-8 keeps bytes", kCharSetUtf8, kNihonUtf8, kNihonUtf8},
      {"automatic keeps invalid bytes", kCharSetAuto, "A\xFF\xFE", "A\xFF\xFE"},
      {"shift-jis", kCharSetShiftJis, kNihonUtf8, kNihonShiftJis},
      {"shift-jis ascii", kCharSetShiftJis, "Intro", "Intro"},
      {"jis", kCharSetJis, kNihonUtf8, kNihonJis},
      {"empty", kCharSetShiftJis, "", ""},
      // Neither text nor byte is dropped: what the target set cannot hold becomes 0x1A.
      {"euro has no shift-jis code", kCharSetShiftJis,
       "a\xE2\x82\xAC"
       "b",
       "a\x1A"
       "b"},
      {"invalid utf-8", kCharSetShiftJis,
       "A\xFF"
       "B",
       "A\x1A"
       "B"},
      // A set the platform refuses: the value is written unconverted.
      {"unknown set falls back to a copy", 12, kNihonUtf8, kNihonUtf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(from_utf8(c.char_set, c.value), c.stored);
  }
}

TEST(Charset, WritingCutsLongValuesToTheBuffer) {
  const std::string ascii(100 * 1024, 'x');
  EXPECT_EQ(from_utf8(kCharSetAuto, ascii), std::string(2047, 'x'));
  EXPECT_EQ(from_utf8(kCharSetUtf8, std::string(2048, 'y')), std::string(2047, 'y'));
  EXPECT_EQ(from_utf8(kCharSetAuto, "abc", 1), "");
  EXPECT_EQ(from_utf8(kCharSetAuto, "abc", 3), "ab");
  EXPECT_EQ(from_utf8(kCharSetShiftJis, "abc", 1), "");

  const std::string japanese = repeat(kNihonUtf8, 20000);  // 120 KB
  const std::string full = repeat(kNihonShiftJis, 20000);
  for (uint32 char_set : {kCharSetShiftJis, kCharSetJis}) {
    SCOPED_TRACE(char_set);
    const std::string stored = from_utf8(char_set, japanese);
    EXPECT_LE(stored.size(), 2047u);
    EXPECT_GT(stored.size(), 2000u);
    if (char_set == kCharSetShiftJis) {
      EXPECT_EQ(stored, full.substr(0, stored.size()));
    }
  }
}

TEST(Charset, ListingConvertsByTheChosenOrDetectedSet) {
  struct Case {
    const char* name;
    uint32 char_set;
    std::string field;
    std::string shown;
  };
  const Case cases[] = {
      {"automatic ascii", kCharSetAuto, "Seasons", "Seasons"},
      {"automatic utf-8", kCharSetAuto, kNihonUtf8, kNihonUtf8},
      {"automatic shift-jis", kCharSetAuto, kNihonShiftJis, kNihonUtf8},
      {"automatic jis", kCharSetAuto, kNihonJis, kNihonUtf8},
      {"automatic empty", kCharSetAuto, "", ""},
      {"shift-jis", kCharSetShiftJis, kNihonShiftJis, kNihonUtf8},
      {"jis", kCharSetJis, kNihonJis, kNihonUtf8},
      {"jis converts plain ascii too", kCharSetJis, "abc", "abc"},
      // UTF-8 shows the stored bytes as they are, whatever they are.
      {"utf-8 keeps shift-jis bytes", kCharSetUtf8, kNihonShiftJis, kNihonShiftJis},
      {"unknown set keeps bytes", 12, kNihonShiftJis, kNihonShiftJis},
      // A byte that is no Shift-JIS character is shown as 0x1A; the rest survives.
      {"invalid shift-jis byte", kCharSetAuto, "A\xFF" + kNihonShiftJis, "A\x1A" + kNihonUtf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_utf8(c.char_set, c.field), c.shown);
  }
}

TEST(Charset, ListingCutsTheConvertedTextToTheBuffer) {
  // 2046 bytes of Shift-JIS grow to 3069 bytes of UTF-8.
  const std::string shown = to_utf8(kCharSetAuto, repeat(kNihonShiftJis, 511) + "\x93\xFA");
  EXPECT_LE(shown.size(), 2047u);
  EXPECT_GT(shown.size(), 2040u);
  EXPECT_EQ(shown, repeat(kNihonUtf8, 512).substr(0, shown.size()));

  // Room for one of the two characters only.
  EXPECT_EQ(to_utf8(kCharSetShiftJis, kNihonShiftJis, 5), "\xE6\x97\xA5");
  EXPECT_EQ(to_utf8(kCharSetShiftJis, "", 1), "");
}

}  // namespace
