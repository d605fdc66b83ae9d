#include "option/console.h"

#include <gtest/gtest.h>

#include "option/console_test_support.h"

namespace {

TEST(Console, ErrorLineAndMessagesAreFilledInOrder) {
  TScopedLocale locale;
  TCoutCapture out;
  exp_err(make_message("@Usage_Title %Option1% %Option2%@",
                       {{"%Option1%", "-Title"}, {"%Option2%", ""}, {"%Absent%", "x"}}));
  // A value holding a later placeholder is filled in its turn.
  exp_err(make_message("%A%", {{"%A%", "%B%"}, {"%B%", "b"}}));
  EXPECT_EQ(out.Text(), "ERROR: @Usage_Title -Title @\nERROR: b\n");
}

TEST(Console, BannerOnlyWhenVerboseWithTheAuthorNameTheDictionaryGives) {
  const auto banner = [](bool verbose, const char* language) {
    TScopedLocale locale(language);
    TOption option;
    option.verbose = verbose;
    TCoutCapture out;
    exp_app_info(option);
    return out.Text();
  };
  EXPECT_EQ(banner(false, "C"), "");
  EXPECT_EQ(banner(true, "C"),
            "\nQuillet    Ver 1.30\nCopyright (C) TARVIK. All rights reserved.\n\n");
  EXPECT_EQ(banner(true, "ja_JP.UTF-8"),
            "\nQuillet    Ver 1.30\nCopyright (C) ＴＡＲＶＩＫ. All rights reserved.\n\n");
}

TEST(Console, ProgressReportsWholePercentAndSecondsLeft) {
  TScopedLocale locale;
  const struct {
    int32 progress;
    int64 elapsed;
    const char* printed;
  } cases[] = {
      {50000, 10000000, "\r50% 10s "},
      {333, 1000000, "\r0% 299s "},  // 1000000 / 333 = 3003; 3003 / 10 - 1
      {0, 5000000, "\r0% 0s "},
      // An elapsed time in the billions of seconds still fits the 64-bit arithmetic.
      {25000, 4000000000000000000, "\r25% 12000000000000s "},
  };
  for (const auto& c : cases) {
    TCoutCapture out;
    exp_progress("%Done%% %Remain%s", c.progress, c.elapsed);
    EXPECT_EQ(out.Text(), c.printed) << c.progress << " " << c.elapsed;
  }
}

}  // namespace
