#include "platform/monkeysaudio/core/id3v1.h"

#include <gtest/gtest.h>

#include "tests/monkeysaudio/test_support.h"

namespace {

// Latin-1 by the format, Shift-JIS or JIS where Japanese software wrote it; always UTF-8 out.
TEST(Id3v1, TextIsLatin1UnlessItIsJapanese) {
  const struct {
    const char* name;
    std::string stored;
    std::string shown;
  } cases[] = {
      {"Latin-1", "Caf\xE9 del Mar", "Caf\xC3\xA9 del Mar"},
      {"Latin-1 letter pair that is also a kanji", "Am\xE9lie", "Am\xC3\xA9lie"},
      {"Latin-1 capitals that are also half-width katakana", "\xC4rzte", "\xC3\x84rzte"},
      {"Shift-JIS", "\x93\xFA\x96\x7B\x8C\xEA", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
      {"Shift-JIS tilde and backslash as Windows maps them", "\x82\xA0~\\\x81\x60",
       "\xE3\x81\x82~\\\xEF\xBD\x9E"},
      {"Shift-JIS cut inside its last character", "\x82\xA0\x82", "\xE3\x81\x82"},
      {"Shift-JIS structure, unmapped code: Latin-1", "\x85\x40", "\xC2\x85@"},
      {"JIS", "\x1B$BF|K\\\x1B(B!", "\xE6\x97\xA5\xE6\x9C\xAC!"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(id3v1_text_to_utf8(c.stored), c.shown) << c.name;
  }
}

}  // namespace
