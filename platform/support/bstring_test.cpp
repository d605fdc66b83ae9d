#include "platform/support/bstring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BString, ReplaceAll) {
  const struct {
    std::string text;
    const char* replace_this;
    const char* with_this;
    int32 from_offset;
    std::string expected;
  } cases[] = {
      {"@Err %Option% and %Option%@", "%Option%", "-X", 0, "@Err -X and -X@"},
      {"aaa", "aa", "b", 0, "ba"},
      // Replacements that contain the searched text are not searched again.
      {"x%N%y", "%N%", "%N%%N%", 0, "x%N%%N%y"},
      // The offset limits where matching starts: an occurrence that starts before it does not
      // match, even if it ends after it.
      {"abcabc", "abc", "X", 1, "abcX"},
      {"a-a-a", "a", "b", 6, "a-a-a"},
      {"a-a-a", "a", "b", -3, "b-b-b"},
      {"text", nullptr, "X", 0, "text"},
      {"text", "t", nullptr, 0, "ex"},
      // Bytes (NUL, UTF-8) pass through unchanged.
      {std::string("a\0a", 3), "a", "\xE3\x81\x82", 0,
       std::string("\xE3\x81\x82\0\xE3\x81\x82", 7)},
  };
  for (const auto& c : cases) {
    BString s(c.text);
    s.ReplaceAll(c.replace_this, c.with_this, c.from_offset);
    EXPECT_EQ(s.Text(), c.expected) << c.text << " from " << c.from_offset;
  }
}

}  // namespace
