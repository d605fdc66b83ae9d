#include "platform/textencoding/utf8_conversions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kGuard = '\xEE';

struct TResult {
  status_t status;
  std::string text;
  int32 consumed;
};

// Runs one conversion with `room` bytes of room, followed by guard bytes that must survive.
TResult run(bool to_utf8, uint32 encoding, const std::string& source, int32 room = 4096) {
  std::vector<char> buffer(static_cast<std::size_t>(room) + 16, kGuard);
  int32 source_length = static_cast<int32>(source.size());
  int32 destination_length = room;
  int32 state = 0;
  const status_t status = to_utf8 ? convert_to_utf8(encoding, source.data(), &source_length,
                                                    buffer.data(), &destination_length, &state)
                                  : convert_from_utf8(encoding, source.data(), &source_length,
                                                      buffer.data(), &destination_length, &state);
  for (std::size_t i = static_cast<std::size_t>(room); i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], kGuard) << "written past the room of " << room << " at " << i;
  }
  EXPECT_LE(destination_length, room);
  EXPECT_EQ(state, 0);
  return {status, std::string(buffer.data(), static_cast<std::size_t>(destination_length)),
          source_length};
}

struct Case {
  const char* name;
  std::string source;
  std::string expected;
};

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

void expect_cases(bool to_utf8, uint32 encoding, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const TResult result = run(to_utf8, encoding, c.source);
    EXPECT_EQ(result.status, B_OK) << c.name;
    EXPECT_EQ(hex(result.text), hex(c.expected)) << c.name;
    EXPECT_EQ(result.consumed, static_cast<int32>(c.source.size())) << c.name;
  }
}

TEST(Utf8Conversions, ShiftJisReadsAsWindowsWritesIt) {
  expect_cases(true, B_SJIS_CONVERSION,
               {
                   {"backslash", "a\x5C", "a\\"},
                   {"tilde", "\x7E", "~"},
                   {"wave dash", "\x81\x60", "\uFF5E"},
                   {"circled one", "\x87\x40", "\u2460"},
                   {"IBM kanji", "\xFA\x5C", "\u7E8A"},
                   {"NEC-selected IBM kanji", "\xED\x40", "\u7E8A"},
                   {"half-width katakana", "\xB1", "\uFF71"},
                   {"kana", "\x82\xA0\x82\xA2", "あい"},
                   {"invalid bytes", "\x80-\xA0\xFD", "\x1A-\x1A\x1A"},
                   {"bad trail byte", "\x81\x20", "\x1A "},
                   {"lead byte at the end", "a\x81", "a\x1A"},
               });
}

TEST(Utf8Conversions, ShiftJisWritesAsWindowsReadsIt) {
  expect_cases(false, B_SJIS_CONVERSION,
               {
                   {"backslash", "\\", "\x5C"},
                   {"yen", "\u00A5", "\x5C"},
                   {"tilde", "~", "\x7E"},
                   {"wave dash", "\u301C", "\x81\x60"},
                   {"full-width tilde", "\uFF5E", "\x81\x60"},
                   {"circled one", "\u2460", "\x87\x40"},
                   {"IBM kanji", "\u7E8A", "\xFA\x5C"},
                   {"euro in the middle", "a\u20ACz", "a\x1Az"},
                   {"euro at the end", "あ\u20AC", "\x82\xA0\x1A"},
                   {"incomplete at the end", "a\xE3\x81", "a\x1A"},
                   {"invalid byte", "\xFF-", "\x1A-"},
                   {"surrogate", "\xED\xA0\x80-", "\x1A-"},
                   // A broken sequence does not swallow the characters after it.
                   {"lead without continuation", "\xE3-z", "\x1A-z"},
               });
}

TEST(Utf8Conversions, JisWritesSevenBitAndEndsInAscii) {
  expect_cases(false, B_JIS_CONVERSION,
               {
                   {"ascii", "A b", "A b"},
                   {"kana", "あ", "\x1B$B\x24\x22\x1B(B"},
                   {"substitute between kanji", "あ\u20ACい",
                    "\x1B$B\x24\x22\x1B(B\x1A\x1B$B\x24\x24\x1B(B"},
                   {"substitute at the end", "あ\u20AC", "\x1B$B\x24\x22\x1B(B\x1A"},
                   {"incomplete at the end", "あ\xE3\x81", "\x1B$B\x24\x22\x1B(B\x1A"},
                   {"yen", "\u00A5", "\x1B(J\x5C\x1B(B"},
                   {"wave dash", "\u301C", "\x1B$B\x21\x41\x1B(B"},
                   {"outside JIS X 0208", "\u2460\uFF5E", "\x1A\x1A"},
                   {"mixed", "zあz", "z\x1B$B\x24\x22\x1B(Bz"},
               });
}

TEST(Utf8Conversions, JisReadsWindowsJis) {
  expect_cases(true, B_JIS_CONVERSION,
               {
                   {"kana", "\x1B$B\x24\x22\x1B(B", "あ"},
                   {"old designation", "\x1B$@\x24\x22", "あ"},
                   {"NEC row 13", "\x1B$B\x2D\x21\x24\x22\x1B(B", "\u2460あ"},
                   {"NEC-selected IBM row", "\x1B$B\x79\x21", "\u7E8A"},
                   {"wave dash reads as in Shift-JIS", "\x1B$B\x21\x41", "\uFF5E"},
                   {"katakana by escape", "\x1B(I\x31\x1B(B-", "\uFF71-"},
                   {"katakana by shift", "\x0E\x31\x0F\x31", "\uFF711"},
                   {"roman set", "\x1B(J\x5C~", "\\~"},
                   {"line end inside kanji", "\x1B$B\x24\x22\n\x24\x22", "あ\nあ"},
                   {"bad trail byte", "\x1B$B\x24\n", "\x1A\n"},
                   {"JIS X 0212", "\x1B$(D\x30\x21\x1B(B-", "\x1A-"},
                   {"unassigned row", "\x1B$B\x7E\x7E", "\x1A"},
                   {"eight-bit byte", "a\xA4\xA2", "a\x1A\x1A"},
                   {"unknown escape passes", "\x1B(Zb", "\x1B(Zb"},
                   {"half pair at the end", "\x1B$B\x24\x22\x24", "あ\x1A"},
                   {"escape cut at the end", "a\x1B$", "a\x1A"},
                   {"lone escape at the end", "a\x1B", "a\x1A"},
               });
}

// For every room from 0 up, the conversion stops at a character boundary within the room: its
// output is exactly what converting the consumed part alone gives.
TEST(Utf8Conversions, FullDestinationCutsAtACharacterBoundary) {
  const std::string utf8 = "Aあ€¥い\u2460b\xE3\x81\x82z\xE3\x81";
  const struct {
    bool to_utf8;
    uint32 encoding;
    std::string source;
  } sources[] = {
      {false, B_SJIS_CONVERSION, utf8},
      {false, B_JIS_CONVERSION, utf8},
      {true, B_SJIS_CONVERSION, "A\x82\xA0\x80\xB1\x87\x40z\x81"},
      {true, B_JIS_CONVERSION, "A\x1B$B\x24\x22\x2D\x21\x1B(I\x31\x1B(Bz\x1B$B\x24"},
  };
  for (const auto& s : sources) {
    const TResult full = run(s.to_utf8, s.encoding, s.source);
    ASSERT_EQ(full.status, B_OK);
    std::size_t previous = 0;
    for (int32 room = 0; room <= static_cast<int32>(full.text.size()) + 2; ++room) {
      SCOPED_TRACE("encoding " + std::to_string(s.encoding) + (s.to_utf8 ? " to" : " from") +
                   " UTF-8, room " + std::to_string(room));
      const TResult cut = run(s.to_utf8, s.encoding, s.source, room);
      ASSERT_EQ(cut.status, B_OK);
      const TResult prefix =
          run(s.to_utf8, s.encoding, s.source.substr(0, static_cast<std::size_t>(cut.consumed)));
      EXPECT_EQ(hex(cut.text), hex(prefix.text));
      EXPECT_GE(cut.text.size(), previous);
      previous = cut.text.size();
      // JIS output always ends back in ASCII.
      const std::size_t last_escape = cut.text.rfind('\x1B');
      if (!s.to_utf8 && last_escape != std::string::npos) {
        EXPECT_EQ(cut.text.substr(last_escape, 3), "\x1B(B");
      }
      if (room >= static_cast<int32>(full.text.size())) {
        EXPECT_EQ(cut.text, full.text);
        EXPECT_EQ(cut.consumed, static_cast<int32>(s.source.size()));
      }
    }
  }
}

TEST(Utf8Conversions, RefusesUnknownEncodingsAndBadArguments) {
  for (uint32 encoding : {0u, 12u, 15u, 4096u}) {
    for (bool to_utf8 : {true, false}) {
      const TResult result = run(to_utf8, encoding, "abc", 8);
      EXPECT_EQ(result.status, B_BAD_VALUE) << encoding;
      EXPECT_EQ(result.text, "");
    }
  }
  char destination[4];
  int32 source_length = -1;
  int32 destination_length = 4;
  EXPECT_EQ(convert_to_utf8(B_SJIS_CONVERSION, "a", &source_length, destination,
                            &destination_length, nullptr),
            B_BAD_VALUE);
  source_length = 1;
  EXPECT_EQ(convert_from_utf8(B_JIS_CONVERSION, "a", &source_length, destination, nullptr, nullptr),
            B_BAD_VALUE);
  source_length = 0;
  destination_length = 4;
  EXPECT_EQ(convert_from_utf8(B_JIS_CONVERSION, nullptr, &source_length, destination,
                              &destination_length, nullptr),
            B_OK);
  EXPECT_EQ(destination_length, 0);
}

}  // namespace
