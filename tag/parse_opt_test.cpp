#include "tag/parse_opt.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "option/console_test_support.h"

namespace {

using TValues = std::map<long, std::string>;
using TArguments = std::vector<std::string>;

// Parses `arguments` (the program's name is put first) into `option`; returns what it printed.
std::string parse(const TArguments& arguments, TTagOption* option, long expected_result) {
  std::vector<const char*> argv = {"quillet"};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  TScopedLocale locale;
  TCoutCapture out;
  EXPECT_EQ(parse_opt(static_cast<int>(argv.size()), argv.data(), option), expected_result);
  return out.Text();
}

TEST(ParseOpt, AcceptedCommandLines) {
  const std::string big(100 * 1024, 'v');
  struct Case {
    TArguments arguments;
    std::string file_name;
    TValues values;
    bool help = false, verbose = false, lib_info = false, remove_all = false;
    uint32 char_set = kCharSetAuto;
  };
  const Case cases[] = {
      // Without a file name the usage is asked for, which also shows the banner.
      {{}, "", {}, true, true},
      {{"-T=Song"}, "", {{9, "Song"}}, true, true},
      {{"a.ape", "b.ape"}, "b.ape", {}},
      {{"a.ape", ""}, "", {}, true, true},
      {{"x", "-T=a", "-TITLE=b"}, "x", {{9, "b"}}},
      {{"-T", "-a=", "x"}, "x", {{9, ""}, {4, ""}}},
      {{"-T=a=b", "-A:x", "-c:a=b", "x"}, "x", {{9, "a=b"}, {4, "x"}, {6, "a=b"}}},
      {{"-Y=1999", "-t=T", "-a=A", "-l=L", "-c=C", "-g=G", "-r=7", "x"},
       "x",
       {{3, "L"}, {4, "A"}, {6, "C"}, {7, "G"}, {9, "T"}, {10, "7"}, {11, "1999"}}},
      {{"-YEAR=1", "-TITLE=2", "-ARTIST=3", "-ALBUM=4", "-COMMENT=5", "-GENRE=6", "-TRACK=7", "x"},
       "x",
       {{3, "4"}, {4, "3"}, {6, "5"}, {7, "6"}, {9, "2"}, {10, "7"}, {11, "1"}}},
      // Values and names are kept byte for byte: blanks, quotes, case, bytes that are not
      // UTF-8, and a value of a hundred kilobytes.
      {{"-T= Jack and \"Ken\" ", "-A=\xFF\xFE\x93\xFA", "-Comment=" + big, "\xFF\xFE.ape"},
       "\xFF\xFE.ape",
       {{9, " Jack and \"Ken\" "}, {4, "\xFF\xFE\x93\xFA"}, {6, big}}},
      {{"-removeall", "-T=New", "x"}, "x", {{9, "New"}}, false, false, false, true},
      {{"-?", "x"}, "x", {}, true, true},
      {{"-v", "x"}, "x", {}, false, true, true},
      {{"-V", "-?"}, "", {}, true, true, true},
      {{"-cs=s", "x"}, "x", {}, false, false, false, false, kCharSetShiftJis},
      {{"-CHARSET=Shift-JIS", "x"}, "x", {}, false, false, false, false, kCharSetShiftJis},
      {{"-charset:jis", "x"}, "x", {}, false, false, false, false, kCharSetJis},
      {{"-cs=j", "x"}, "x", {}, false, false, false, false, kCharSetJis},
      {{"-cs=utf-8", "-cs=s", "-cs=U", "x"}, "x", {}, false, false, false, false, kCharSetUtf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments).substr(0, 200));
    TTagOption option;
    EXPECT_EQ(parse(c.arguments, &option, 0), "");
    EXPECT_EQ(option.file_name, c.file_name);
    EXPECT_EQ(option.tag_values, c.values);
    EXPECT_EQ(option.help, c.help);
    EXPECT_EQ(option.verbose, c.verbose);
    EXPECT_EQ(option.lib_info, c.lib_info);
    EXPECT_EQ(option.remove_all, c.remove_all);
    EXPECT_EQ(option.char_set, c.char_set);
  }
}

TEST(ParseOpt, RefusedCommandLinesNameTheWholeArgument) {
  const std::pair<TArguments, std::string> cases[] = {
      {{"-CS=sjis", "x"}, "ERROR: @Err_Bad_Option_Value -CS=sjis@\n"},
      {{"-CS=", "x"}, "ERROR: @Err_Bad_Option_Value -CS=@\n"},
      {{"-CS", "x"}, "ERROR: @Err_Bad_Option_Value -CS@\n"},
      {{"-Charset:\xFF", "x"}, "ERROR: @Err_Bad_Option_Value -Charset:\xFF@\n"},
      {{"x", "-X=1"}, "ERROR: @Err_Unknown_Option -X=1@\n"},
      {{"-"}, "ERROR: @Err_Unknown_Option -@\n"},
      {{"-Title\xC3\xA9=x"}, "ERROR: @Err_Unknown_Option -Title\xC3\xA9=x@\n"},
      // Parsing stops at the first refused argument: one error line only.
      {{"-X=1", "-Y=2", "-CS=bad"}, "ERROR: @Err_Unknown_Option -X=1@\n"},
      {{"-CS=bad", "-X"}, "ERROR: @Err_Bad_Option_Value -CS=bad@\n"},
  };
  for (const auto& [arguments, output] : cases) {
    TTagOption option;
    EXPECT_EQ(parse(arguments, &option, -1), output) << testing::PrintToString(arguments);
  }
  // A refused line derives nothing from what came before it.
  TTagOption option;
  parse({"-v", "-cs=x"}, &option, -1);
  EXPECT_EQ(option.char_set, 0u);
  EXPECT_TRUE(option.verbose);
  EXPECT_FALSE(option.lib_info);
}

}  // namespace
