#include "tag/charset.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kNihonUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
const std::string kNihonShiftJis = "\x93\xFA\x96\x7B";

// Beyond what the end-to-end listings show (Shift-JIS and JIS text told apart from UTF-8).
TEST(Charset, DetectsTheSetOfAFieldFromItsStructure) {
  const std::pair<std::string, uint32> cases[] = {
      {kNihonUtf8, kCharSetUtf8},
      {"\x93\x81\x1B$B", kCharSetJis},  // an ESC outweighs invalid sequences
      {"abc\xC3", kCharSetShiftJis},    // lone lead byte at the end
      {"\xC3\x1B", kCharSetShiftJis},   // an ESC inside a sequence is no ESC
      // Only the structure counts: overlong forms and long lead bytes pass.
      {"\xC0\x80", kCharSetUtf8},
      {"\xFF\x80\x80\x80\x80\x80\x80\x80", kCharSetUtf8},
  };
  for (const auto& [text, expected] : cases) {
    // An exact-size copy: a lead byte near the end must not make the scan read past the NUL.
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    EXPECT_EQ(detect_charset(copy.data()), expected) << testing::PrintToString(text);
  }
}

// What runs of the program cannot show: a set refused, and the listing's conversions.
TEST(Charset, ConvertsByTheChosenOrDetectedSetWithinTheRoom) {
  const uint32 kRefused = 12;  // a set the platform has no conversion for
  // Listing (to UTF-8) or writing, the set, the text, what the room of so many bytes receives.
  const std::tuple<bool, uint32, std::string, std::string, int> cases[] = {
      // A set the platform refuses leaves the value written unconverted, still cut whole.
      {false, kRefused, "ab" + kNihonUtf8, "ab\xE6\x97\xA5", 8},
      {true, kCharSetUtf8, kNihonShiftJis, kNihonShiftJis, 2048},
      {true, kRefused, kNihonShiftJis, kNihonShiftJis, 2048},
      {true, kCharSetAuto, "A\xFF" + kNihonShiftJis, "A\x1A" + kNihonUtf8, 2048},
      // 6 bytes of Shift-JIS grow to 9 of UTF-8: cut between characters.
      {true, kCharSetAuto, kNihonShiftJis + "\x93\xFA", kNihonUtf8, 8},
  };
  for (const auto& [to_utf8, char_set, from, to, room] : cases) {
    SCOPED_TRACE(testing::PrintToString(from.substr(0, 12)) + " " + std::to_string(char_set));
    TTagOption option;
    option.char_set = char_set;
    // A heap buffer of exactly the room, so that the sanitizers see any write past it.
    std::vector<char> buffer(static_cast<std::size_t>(room), '\x55');
    if (to_utf8) {
      std::memcpy(buffer.data(), from.c_str(), from.size() + 1);
      convert_to_utf8(option, buffer.data(), room);
    } else {
      convert_from_utf8(option, from, buffer.data(), room);
    }
    ASSERT_NE(std::memchr(buffer.data(), '\0', buffer.size()), nullptr) << "not terminated";
    EXPECT_EQ(buffer.data(), to);
  }
}

}  // namespace
