#include "tag/usage.h"

#include <gtest/gtest.h>

#include <string>

#include "option/console_test_support.h"

namespace {

const char kUsageWithoutDictionaries[] =
    "@Tag_Overview Quillet@\n"
    "\n"
    "=== Usage ===\n"
    "@Tag_Cmd_Format@\n"
    "\n"
    "Option (Case insensitive):\n"
    "  @Usage_Title -Title -T@\n"
    "  @Usage_Artist -Artist -A@\n"
    "  @Usage_Album -Album -L@\n"
    "  @Usage_Comment -Comment -C@\n"
    "  @Usage_Year -Year -Y@\n"
    "  @Usage_Genre -Genre -G@\n"
    "  @Usage_Track -Track -R@\n"
    "  @Usage_Char_Set -Charset -CS@\n"
    "    @Usage_Char_Set_Detail JIS J SHIFT-JIS S UTF-8 U@\n"
    "  @Usage_Remove_All -Removeall@\n"
    "  @Usage_Help -Help -?@\n"
    "  @Usage_Verbose -Verbose -V@\n"
    "\n"
    "Example:\n"
    "  Quillet MyApe.ape -Title=Seasons -Artist=\"Jack and Ken\" -Charset=UTF-8\n"
    "\n";

TEST(Usage, WithoutDictionariesEveryKeyPrintsItselfFilledIn) {
  TScopedLocale locale;
  TCoutCapture out;
  exp_usage();
  EXPECT_EQ(out.Text(), kUsageWithoutDictionaries);
}

}  // namespace
