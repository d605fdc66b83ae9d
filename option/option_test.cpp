#include "option/option.h"

#include <gtest/gtest.h>

namespace {

TEST(TOption, CalcDerivesImpliedFlagsInOrder) {
  struct Case {
    bool help, verbose;
    bool help_after, verbose_after, lib_info_after;
  };
  const Case cases[] = {
      {false, false, false, false, false},
      // help turns on the banner only: the library information needs verbose asked for.
      {true, false, true, true, false},
      {false, true, false, true, true},
      {true, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "help=" << c.help << " verbose=" << c.verbose);
    TOption option;
    option.help = c.help;
    option.verbose = c.verbose;
    option.Calc();
    EXPECT_EQ(option.help, c.help_after);
    EXPECT_EQ(option.verbose, c.verbose_after);
    EXPECT_EQ(option.lib_info, c.lib_info_after);
  }
}

}  // namespace
