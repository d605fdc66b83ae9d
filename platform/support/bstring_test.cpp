#include "platform/support/bstring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ReplaceCase {
  const char* text;
  const char* replace_this;
  const char* with_this;
  int32 from_offset;
  const char* expected;
};

TEST(BString, ReplaceAllCases) {
  const ReplaceCase cases[] = {
      {"@Err %Option% and %Option%@", "%Option%", "-X", 0, "@Err -X and -X@"},
      {"aaa", "aa", "b", 0, "ba"},
      // Replacements that contain the searched text are not searched again.
      {"x%N%y", "%N%", "%N%%N%", 0, "x%N%%N%y"},
      {"abab", "ab", "b", 0, "bb"},
      // The offset limits where matching starts.
      {"a-a-a", "a", "b", 1, "a-b-b"},
      {"a-a-a", "a", "b", 5, "a-a-a"},
      {"a-a-a", "a", "b", -3, "b-b-b"},
      // An occurrence that starts before the offset does not match, even if it ends after it.
      {"abcabc", "abc", "X", 1, "abcX"},
      {"text", "", "X", 0, "text"},
      {"text", nullptr, "X", 0, "text"},
      {"text", "t", nullptr, 0, "ex"},
  };
  for (const ReplaceCase& c : cases) {
    BString s(c.text);
    s.ReplaceAll(c.replace_this, c.with_this, c.from_offset);
    EXPECT_STREQ(s.String(), c.expected)
        << "text '" << c.text << "' replacing '" << (c.replace_this ? c.replace_this : "(null)")
        << "' from " << c.from_offset;
    EXPECT_EQ(s.Length(), static_cast<int32>(std::string(c.expected).size()));
  }
}

TEST(BString, ReplaceAllChainsAndKeepsBytes) {
  BString s("%Done%% done, %Remain% s");
  s.ReplaceAll("%Done%", "50").ReplaceAll("%Remain%", "-10");
  EXPECT_STREQ(s.String(), "50% done, -10 s");
  EXPECT_STREQ(BString(static_cast<const char*>(nullptr)).String(), "");

  std::string with_nul("a\0a", 3);
  BString bytes(with_nul);
  bytes.ReplaceAll("a", "\xE3\x81\x82");
  EXPECT_EQ(bytes.Text(), std::string("\xE3\x81\x82\0\xE3\x81\x82", 7));
}

}  // namespace
