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
  while (count-- > 0) {
    result += text;
  }
  return result;
}

// Converts `text` one way or the other in a heap buffer of exactly `size` bytes, so that the
// sanitizers see any write past it, and returns what the buffer holds up to its terminator.
std::string convert(bool to_utf8, uint32 char_set, const std::string& text, int size = 2048) {
  TTagOption option;
  option.char_set = char_set;
  std::vector<char> buffer(static_cast<std::size_t>(size), '\x55');
  if (to_utf8) {
    const std::size_t length = std::min(text.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), text.data(), length);
    buffer[length] = '\0';
    convert_to_utf8(option, buffer.data(), size);
  } else {
    convert_from_utf8(option, text, buffer.data(), size);
  }
  EXPECT_NE(std::memchr(buffer.data(), '\0', buffer.size()), nullptr) << "not terminated";
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

TEST(Charset, DetectsTheSetOfAFieldFromItsStructure) {
  const std::pair<std::string, uint32> cases[] = {
      {"", kCharSetUtf8},
      {kNihonUtf8, kCharSetUtf8},
      {kNihonShiftJis, kCharSetShiftJis},
      {"\xB1\xB2", kCharSetShiftJis},  // half-width kana
      {kNihonJis, kCharSetJis},
      {"\x93\x81\x1B$B", kCharSetJis},  // an ESC outweighs invalid sequences
      {"abc\xC3", kCharSetShiftJis},    // lone lead byte at the end
      {"\xC3\x1B", kCharSetShiftJis},   // an ESC inside a sequence is no ESC
      // Only the structure counts: overlong forms and long lead bytes pass.
      {"\xC0\x80", kCharSetUtf8},
      {"\xFF\x80\x80\x80\x80\x80\x80\x80", kCharSetUtf8},
      {"\xFF\x80\x80\x80\x80\x80\x80", kCharSetShiftJis},
  };
  for (const auto& [text, expected] : cases) {
    // An exact-size copy: a lead byte near the end must not make the scan read past the NUL.
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    EXPECT_EQ(detect_charset(copy.data()), expected) << testing::PrintToString(text);
  }
  EXPECT_EQ(detect_charset(nullptr), kCharSetUtf8);
}

TEST(Charset, ConvertsByTheChosenOrDetectedSet) {
  struct Case {
    bool to_utf8;
    uint32 char_set;
    std::string from, to;
  };
  const Case cases[] = {
      // Writing converts only for Shift-JIS and JIS.
      {false, kCharSetAuto, "A\xFF\xFE", "A\xFF\xFE"},
      {false, kCharSetJis, kNihonUtf8, kNihonJis},
      // A set the platform refuses: the value is copied unconverted.
      {false, 12, kNihonUtf8, kNihonUtf8},
      // Listing.
      {true, kCharSetAuto, kNihonJis, kNihonUtf8},
      {true, kCharSetUtf8, kNihonShiftJis, kNihonShiftJis},
      {true, 12, kNihonShiftJis, kNihonShiftJis},
      {true, kCharSetAuto, "A\xFF" + kNihonShiftJis, "A\x1A" + kNihonUtf8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convert(c.to_utf8, c.char_set, c.from), c.to)
        << c.to_utf8 << " " << c.char_set << " " << testing::PrintToString(c.from);
  }
}

TEST(Charset, ConversionsCutToTheBuffer) {
  EXPECT_EQ(convert(false, kCharSetAuto, std::string(100 * 1024, 'x')), std::string(2047, 'x'));
  EXPECT_EQ(convert(false, kCharSetAuto, "abc", 1), "");
  EXPECT_EQ(convert(false, kCharSetShiftJis, "abc", 1), "");
  // UTF-8 is cut between characters; a byte that starts no character is one of its own.
  const std::pair<std::string, std::string> utf8_cuts[] = {
      {"ab" + kNihonUtf8, "ab\xE6\x97\xA5"}, {"abcde" + kNihonUtf8, "abcde"},
      {"abcdef\xF0\x9F\x8E\xB5", "abcdef"},  {"Caf\xE9 au lait", "Caf\xE9 au"},
      {"abcdef\xE6\x97", "abcdef\xE6"},      {"abcde\xE9\xE9\xE9", "abcde\xE9\xE9"},
  };
  const uint32 unconverted[] = {kCharSetAuto, kCharSetUtf8, 12};  // 12: refused by the platform
  for (const auto& [given, kept] : utf8_cuts) {
    for (uint32 set : unconverted) {
      EXPECT_EQ(convert(false, set, given, 8), kept) << set << testing::PrintToString(given);
    }
  }

  // The helper has checked that every result fits its buffer, terminator included.
  for (uint32 set : {kCharSetShiftJis, kCharSetJis}) {
    EXPECT_GT(convert(false, set, repeat(kNihonUtf8, 20000)).size(), 2000u) << set;  // 120 KB
  }

  // 2046 bytes of Shift-JIS grow to 3069 bytes of UTF-8.
  const std::string shown = convert(true, kCharSetAuto, repeat(kNihonShiftJis, 511) + "\x93\xFA");
  EXPECT_GT(shown.size(), 2040u);
  EXPECT_EQ(shown, repeat(kNihonUtf8, 512).substr(0, shown.size()));
  // Room for one of the two characters only.
  EXPECT_EQ(convert(true, kCharSetShiftJis, kNihonShiftJis, 5), "\xE6\x97\xA5");
  EXPECT_EQ(convert(true, kCharSetShiftJis, "", 1), "");
}

}  // namespace
