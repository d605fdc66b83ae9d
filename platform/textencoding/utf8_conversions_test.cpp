// UTF-8 to and from the Japanese sets.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/textencoding/utf8_conversions.h"

namespace {

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

}  // namespace
