#include "option/common_options.h"

#include <gtest/gtest.h>

#include "option/console_test_support.h"
#include "option/option_scan.h"

namespace {

// Each argument sets only its own flag and prints nothing; lib_info is left for Calc. An
// unknown argument prints one error line naming it whole and sets nothing.
TEST(CommonOptions, SetsTheFlagOrRefusesTheWholeArgument) {
  TScopedLocale locale;
  TOptionMap map;
  init_option_map_common(&map);
  struct Case {
    const char* argument;
    int result;
    bool help, verbose;
  };
  const Case cases[] = {{"-?", 0, true, false},         {"--Help", 0, true, false},
                        {"-HELP=yes", 0, true, false},  {"-v", 0, false, true},
                        {"-Verbose:1", 0, false, true}, {"-X=5", -1, false, false},
                        {"-", -1, false, false},        {"-Tïtle:Ünïcode value", -1, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const auto found = map.find(extract_opt_name(c.argument));
    TOption option;
    TCoutCapture out;
    EXPECT_EQ(
        parse_opt_common(found == map.end() ? kOptionNone : found->second, c.argument, &option),
        c.result);
    EXPECT_EQ(option.help, c.help);
    EXPECT_EQ(option.verbose, c.verbose);
    EXPECT_FALSE(option.lib_info);
    EXPECT_EQ(out.Text(),
              c.result == 0 ? "" : std::string("ERROR: @Err_Unknown_Option ") + c.argument + "@\n");
  }
}

}  // namespace
