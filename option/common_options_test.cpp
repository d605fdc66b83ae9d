#include "option/common_options.h"

#include <gtest/gtest.h>

#include "option/console_test_support.h"
#include "option/option_scan.h"

namespace {

int32 lookup(const TOptionMap& map, const std::string& argument) {
  const auto found = map.find(extract_opt_name(argument));
  return found == map.end() ? kOptionNone : found->second;
}

TEST(CommonOptions, HelpAndVerboseSetTheirFlagsWhateverTheSpelling) {
  TScopedLocale locale;
  TOptionMap map;
  init_option_map_common(&map);
  struct Case {
    const char* argument;
    bool help, verbose;
  };
  const Case cases[] = {
      {"-?", true, false},        {"-help", true, false}, {"--Help", true, false},
      {"-HELP=yes", true, false}, {"-v", false, true},    {"-Verbose:1", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    TOption option;
    TCoutCapture out;
    EXPECT_EQ(parse_opt_common(lookup(map, c.argument), c.argument, &option), 0);
    EXPECT_EQ(option.help, c.help);
    EXPECT_EQ(option.verbose, c.verbose);
    EXPECT_FALSE(option.lib_info);  // derived later, by Calc
    EXPECT_EQ(out.Text(), "");
  }
}

TEST(CommonOptions, UnknownOptionPrintsOneErrorNamingTheWholeArgument) {
  TScopedLocale locale;
  TOptionMap map;
  init_option_map_common(&map);
  for (const char* argument : {"-X=5", "-", "-Tïtle:Ünïcode value"}) {
    SCOPED_TRACE(argument);
    TOption option;
    TCoutCapture out;
    EXPECT_EQ(parse_opt_common(lookup(map, argument), argument, &option), -1);
    EXPECT_EQ(out.Text(), std::string("ERROR: @Err_Unknown_Option ") + argument + "@\n");
    EXPECT_FALSE(option.help);
    EXPECT_FALSE(option.verbose);
  }
}

TEST(CommonOptions, UsageLinesShowCapitalizedLongAndShortNames) {
  TScopedLocale locale;
  TCoutCapture out;
  exp_usage_common_opt();
  EXPECT_EQ(out.Text(),
            "  @Usage_Help -Help -?@\n"
            "  @Usage_Verbose -Verbose -V@\n");
}

}  // namespace
