// Placeholders in texts, and the console a user reads them on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <utility>

#include "platform/support/bstring.h"
#include "platform/support/console_stream.h"

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

}  // namespace
