#include "tag/parse_opt.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "option/console_test_support.h"

namespace {

using TValues = std::map<long, std::string>;

struct TParsed {
  long result = 0;
  std::string output;
};

// Parses `arguments` (the program's name is put first) into `option`.
TParsed parse(const std::vector<std::string>& arguments, TTagOption* option) {
  std::vector<const char*> argv = {"quillet"};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  TScopedLocale locale;
  TCoutCapture out;
  TParsed parsed;
  parsed.result = parse_opt(static_cast<int>(argv.size()), argv.data(), option);
  parsed.output = out.Text();
  return parsed;
}

TEST(ParseOpt, AcceptedCommandLines) {
  struct Case {
    std::vector<std::string> arguments;
    std::string file_name;
    TValues values;
    bool help = false, verbose = false, lib_info = false, remove_all = false;
    uint32 char_set = kCharSetAuto;
  };
  const Case cases[] = {
      // Without a file name the usage is asked for, which also shows the banner.
      {{}, "", {}, true, true},
      {{"-T=Song"}, "", {{9, "Song"}}, true, true},
      {{"a.ape"}, "a.ape", {}},
      {{"a.ape", "b.ape"}, "b.ape", {}},
      {{"a.ape", ""}, "", {}, true, true},
      {{"-title=Hello", "x"}, "x", {{9, "Hello"}}},
      {{"x", "-T=Hello"}, "x", {{9, "Hello"}}},
      {{"-T=a", "-TITLE=b", "x"}, "x", {{9, "b"}}},
      {{"-T", "-a=", "x"}, "x", {{9, ""}, {4, ""}}},
      {{"-T=a=b", "-A:x", "-c:a=b", "x"}, "x", {{9, "a=b"}, {4, "x"}, {6, "a=b"}}},
      {{"-Y=1999", "-t=T", "-a=A", "-l=L", "-c=C", "-g=G", "-r=7", "x"},
       "x",
       {{3, "L"}, {4, "A"}, {6, "C"}, {7, "G"}, {9, "T"}, {10, "7"}, {11, "1999"}}},
      {{"-YEAR=1", "-TITLE=2", "-ARTIST=3", "-ALBUM=4", "-COMMENT=5", "-GENRE=6", "-TRACK=7", "x"},
       "x",
       {{3, "4"}, {4, "3"}, {6, "5"}, {7, "6"}, {9, "2"}, {10, "7"}, {11, "1"}}},
      // Values are kept byte for byte: blanks, quotes, case and bytes that are not UTF-8.
      {{"-T= Jack and \"Ken\" ", "-A=\xFF\xFE\x93\xFA", "x"},
       "x",
       {{9, " Jack and \"Ken\" "}, {4, "\xFF\xFE\x93\xFA"}}},
      {{"\xFF\xFE.ape"}, "\xFF\xFE.ape", {}},
      {{"-REMOVEALL=no", "x"}, "x", {}, false, false, false, true},
      {{"-removeall", "-T=New", "x"}, "x", {{9, "New"}}, false, false, false, true},
      {{"-?", "x"}, "x", {}, true, true},
      {{"-HELP", "x"}, "x", {}, true, true},
      {{"--help", "x"}, "x", {}, true, true},
      {{"-v", "x"}, "x", {}, false, true, true},
      {{"-V", "-?"}, "", {}, true, true, true},
      {{"-cs=s", "x"}, "x", {}, false, false, false, false, kCharSetShiftJis},
      {{"-CS=shift-jis", "x"}, "x", {}, false, false, false, false, kCharSetShiftJis},
      {{"-CHARSET=Shift-JIS", "x"}, "x", {}, false, false, false, false, kCharSetShiftJis},
      {{"-cs=j", "x"}, "x", {}, false, false, false, false, kCharSetJis},
      {{"-charset:jis", "x"}, "x", {}, false, false, false, false, kCharSetJis},
      {{"-cs=u", "x"}, "x", {}, false, false, false, false, kCharSetUtf8},
      {{"-cs=utf-8", "-cs=s", "-cs=U", "x"}, "x", {}, false, false, false, false, kCharSetUtf8},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& argument : c.arguments) {
      trace += "[" + argument + "] ";
    }
    SCOPED_TRACE(trace);
    TTagOption option;
    const TParsed parsed = parse(c.arguments, &option);
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.output, "");
    EXPECT_EQ(option.file_name, c.file_name);
    EXPECT_EQ(option.tag_values, c.values);
    EXPECT_EQ(option.help, c.help);
    EXPECT_EQ(option.verbose, c.verbose);
    EXPECT_EQ(option.lib_info, c.lib_info);
    EXPECT_EQ(option.remove_all, c.remove_all);
    EXPECT_EQ(option.char_set, c.char_set);
  }
}

TEST(ParseOpt, ValueOfAHundredKilobytesIsStoredWhole) {
  const std::string value(100 * 1024, 'v');
  TTagOption option;
  const TParsed parsed = parse({"-Comment=" + value, "x"}, &option);
  EXPECT_EQ(parsed.result, 0);
  EXPECT_EQ(option.tag_values, (TValues{{6, value}}));
}

TEST(ParseOpt, RefusedCommandLinesNameTheWholeArgument) {
  struct Case {
    std::vector<std::string> arguments;
    std::string output;
  };
  const Case cases[] = {
      {{"-CS=sjis", "x"}, "ERROR: @Err_Bad_Option_Value -CS=sjis@\n"},
      {{"-cs=latin1", "x"}, "ERROR: @Err_Bad_Option_Value -cs=latin1@\n"},
      {{"-CS=", "x"}, "ERROR: @Err_Bad_Option_Value -CS=@\n"},
      {{"-CS", "x"}, "ERROR: @Err_Bad_Option_Value -CS@\n"},
      {{"-Charset:\xFF", "x"}, "ERROR: @Err_Bad_Option_Value -Charset:\xFF@\n"},
      {{"-X=1", "x"}, "ERROR: @Err_Unknown_Option -X=1@\n"},
      {{"x", "-X=1"}, "ERROR: @Err_Unknown_Option -X=1@\n"},
      {{"-"}, "ERROR: @Err_Unknown_Option -@\n"},
      {{"-song.ape"}, "ERROR: @Err_Unknown_Option -song.ape@\n"},
      {{"-Title"
        "\xC3\xA9=x"},
       "ERROR: @Err_Unknown_Option -Title\xC3\xA9=x@\n"},
      // Parsing stops at the first refused argument: one error line only.
      {{"-X=1", "-Y=2", "-CS=bad"}, "ERROR: @Err_Unknown_Option -X=1@\n"},
      {{"-CS=bad", "-X"}, "ERROR: @Err_Bad_Option_Value -CS=bad@\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    TTagOption option;
    const TParsed parsed = parse(c.arguments, &option);
    EXPECT_EQ(parsed.result, -1);
    EXPECT_EQ(parsed.output, c.output);
  }
}

TEST(ParseOpt, RefusedLineLeavesWhatEarlierArgumentsSetAndDerivesNothing) {
  TTagOption option;
  EXPECT_EQ(parse({"-T=a", "-cs=s", "-X", "x"}, &option).result, -1);
  EXPECT_EQ(option.tag_values, (TValues{{9, "a"}}));
  EXPECT_EQ(option.char_set, kCharSetShiftJis);
  EXPECT_EQ(option.file_name, "");
  EXPECT_FALSE(option.help);
  EXPECT_FALSE(option.verbose);

  TTagOption bad_set;
  EXPECT_EQ(parse({"-v", "-cs=x"}, &bad_set).result, -1);
  EXPECT_EQ(bad_set.char_set, 0u);
  EXPECT_TRUE(bad_set.verbose);
  EXPECT_FALSE(bad_set.lib_info);
}

}  // namespace
