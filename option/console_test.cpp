#include "option/console.h"

#include <gtest/gtest.h>

#include "option/console_test_support.h"

namespace {

TEST(Console, ErrorLineStartsWithTheLookedUpPrefix) {
  TScopedLocale locale;
  TCoutCapture out;
  exp_err("Something failed");
  EXPECT_EQ(out.Text(), "ERROR: Something failed\n");
}

TEST(Console, MakeMessageFillsPlaceholdersInOrder) {
  TScopedLocale locale;
  EXPECT_EQ(make_message("@Usage_Title %Option1% %Option2%@",
                         {{"%Option1%", "-Title"}, {"%Option2%", "-T"}}),
            "@Usage_Title -Title -T@");
  // An empty value removes the placeholder; one the text lacks is skipped.
  EXPECT_EQ(make_message("[%A%][%B%]", {{"%A%", ""}, {"%C%", "x"}}), "[][%B%]");
  // Filled in order: a value holding a later placeholder is filled in turn.
  EXPECT_EQ(make_message("%A%", {{"%A%", "%B%"}, {"%B%", "b"}}), "b");
}

TEST(Console, BannerOnlyWhenVerbose) {
  TScopedLocale locale;
  TOption option;
  {
    TCoutCapture out;
    exp_app_info(option);
    EXPECT_EQ(out.Text(), "");
  }
  option.verbose = true;
  TCoutCapture out;
  exp_app_info(option);
  EXPECT_EQ(out.Text(),
            "\n"
            "Quillet    Ver 1.30\n"
            "Copyright (C) TARVIK. All rights reserved.\n"
            "\n");
}

TEST(Console, BannerShowsTheAuthorNameTheDictionaryGives) {
  TTempFolder folder;
  TScopedLocale locale;
  ASSERT_EQ(locale.Load(folder.Path(), "Common", "msgid \"TARVIK\"\nmsgstr \"ＴＡＲＶＩＫ\"\n"), 0);
  TOption option;
  option.verbose = true;
  TCoutCapture out;
  exp_app_info(option);
  EXPECT_EQ(out.Text(),
            "\nQuillet    Ver 1.30\nCopyright (C) ＴＡＲＶＩＫ. All rights reserved.\n\n");
}

TEST(Console, ProgressReportsWholePercentAndSecondsLeft) {
  TScopedLocale locale;
  struct Case {
    int32 progress;
    int64 elapsed;
    const char* printed;
  };
  const Case cases[] = {
      {50000, 10000000, "\r50% 10s "},
      {100000, 0, "\r100% 0s "},
      {100000, 987654321, "\r100% 0s "},
      {333, 1000000, "\r0% 299s "},  // 1000000 / 333 = 3003; 3003 / 10 - 1
      {1, 0, "\r0% 0s "},
      // An elapsed time in the billions of seconds still fits the 64-bit arithmetic.
      {25000, 4000000000000000000, "\r25% 12000000000000s "},
      {0, 5000000, "\r0% 0s "},
      {-1000, 5000000, "\r-1% 0s "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.progress << " " << c.elapsed);
    TCoutCapture out;
    exp_progress("%Done%% %Remain%s", c.progress, c.elapsed);
    EXPECT_EQ(out.Text(), c.printed);
  }
}

}  // namespace
