#include "option/option.h"

#include <gtest/gtest.h>

namespace {

TEST(TOption, CalcDerivesImpliedFlagsInOrder) {
  // {help, verbose} before -> {help, verbose, lib_info} after. Help turns on the banner only:
  // the library information needs verbose asked for.
  const bool cases[][5] = {{false, false, false, false, false},
                           {true, false, true, true, false},
                           {false, true, false, true, true},
                           {true, true, true, true, true}};
  for (const auto& c : cases) {
    TOption option;
    option.help = c[0];
    option.verbose = c[1];
    option.Calc();
    EXPECT_EQ(option.help, c[2]) << c[0] << c[1];
    EXPECT_EQ(option.verbose, c[3]) << c[0] << c[1];
    EXPECT_EQ(option.lib_info, c[4]) << c[0] << c[1];
  }
}

}  // namespace
