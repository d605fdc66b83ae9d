#include "option/console.h"

#include <gtest/gtest.h>

#include "option/console_test_support.h"

namespace {

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
