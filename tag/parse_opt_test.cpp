#include "tag/parse_opt.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "option/console_test_support.h"

namespace {

std::string flags(const TTagOption& option) {
  return std::string(option.help ? "h" : "") + (option.verbose ? "v" : "") +
         (option.lib_info ? "l" : "") + (option.remove_all ? "r" : "");
}

// A refused line prints one error naming the whole argument and derives nothing before it.
TEST(ParseOpt, AcceptsOrRefusesCommandLines) {
  const struct {
    std::vector<std::string> arguments;
    std::string printed;  // empty for an accepted line
    std::string file_name = "";
    std::map<long, std::string> values = {};
    std::string flags = "";
    uint32 char_set = kCharSetAuto;
  } cases[] = {
      // Without a file name the usage is asked for, which also shows the banner.
      {{"a.ape", ""}, "", "", {}, "hv"},
      {{"a.ape", "b.ape"}, "", "b.ape"},
      {{"x", "-T=a", "-TITLE=b"}, "", "x", {{9, "b"}}},
      // A bare field option empties its field; the word after it is no value but the file.
      {{"-Y", "2024"}, "", "2024", {{11, ""}}},
      {{"-T=a=b", "-A:x", "-c:a=b", "x"}, "", "x", {{9, "a=b"}, {4, "x"}, {6, "a=b"}}},
      {{"-Year=1", "-TITLE=2", "-artist=3", "-ALBUM=4", "-COMMENT=5", "-Genre=6", "-TRACK=7", "x"},
       "",
       "x",
       {{3, "4"}, {4, "3"}, {6, "5"}, {7, "6"}, {9, "2"}, {10, "7"}, {11, "1"}}},
      // Values and names are kept byte for byte: blanks, quotes, case, bytes that are not UTF-8.
      {{"-T= Jack and \"Ken\" ", "-A=\xFF\xFE\x93\xFA", "\xFF\xFE.ape"},
       "",
       "\xFF\xFE.ape",
       {{9, " Jack and \"Ken\" "}, {4, "\xFF\xFE\x93\xFA"}}},
      // Help turns on the banner only; the library information needs verbose asked for.
      {{"--Help", "x"}, "", "x", {}, "hv"},
      {{"-Verbose:1", "x"}, "", "x", {}, "vl"},
      {{"-V", "-?"}, "", "", {}, "hvl"},
      // Character-set names in any case; the last one given counts.
      {{"-cs=j", "-Charset:Shift-JIS", "x"}, "", "x", {}, "", kCharSetShiftJis},
      {{"-cs=s", "-CS:jis", "x"}, "", "x", {}, "", kCharSetJis},
      {{"-cs=utf-8", "x"}, "", "x", {}, "", kCharSetUtf8},
      {{"-CS", "x"}, "@Err_Bad_Option_Value -CS@", "", {}, "", 0},
      {{"x", "-X=1"}, "@Err_Unknown_Option -X=1@", "x"},
      {{"-"}, "@Err_Unknown_Option -@"},
      {{"-Title\xC3\xA9=x"}, "@Err_Unknown_Option -Title\xC3\xA9=x@"},
      {{"-X=1", "-CS=bad"}, "@Err_Unknown_Option -X=1@"},
      {{"-CS=bad", "-X"}, "@Err_Bad_Option_Value -CS=bad@", "", {}, "", 0},
      {{"-v", "-cs=x"}, "@Err_Bad_Option_Value -cs=x@", "", {}, "v", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    std::vector<const char*> argv = {"quillet"};  // the program's name comes first
    for (const std::string& argument : c.arguments)
      argv.push_back(argument.c_str());
    TTagOption option;
    TScopedLocale locale;
    TCoutCapture out;
    const int result = parse_opt(static_cast<int>(argv.size()), argv.data(), &option);
    EXPECT_EQ(std::tuple(result, out.Text(), option.file_name, option.tag_values, flags(option),
                         option.char_set),
              std::tuple(c.printed.empty() ? 0 : -1,
                         c.printed.empty() ? "" : "ERROR: " + c.printed + "\n", c.file_name,
                         c.values, c.flags, c.char_set));
  }
}

}  // namespace
