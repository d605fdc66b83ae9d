#include "option/option_scan.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionScan, SplitsNameAndValueAndCapitalizes) {
  const char* const split[][3] = {
      // argument, name, value
      {"-Artist:Jack and Ken", "-ARTIST", "Jack and Ken"},
      {"-C=a=b:c", "-C", "a=b:c"},
      {"-c:a=b", "-C", "a=b"},
      {"-=x", "-", "x"},
      // Bytes above 0x7F are not letters: they pass through whatever the locale.
      {"-\xE9t\xC3\xA9=\xC3\xA9", "-\xE9T\xC3\xA9", "\xC3\xA9"},
      // Not an option: the name is the argument unchanged, the value is still split.
      {"c:song", "c:song", "song"},
      {"", "", ""},
  };
  for (const auto& c : split) {
    EXPECT_EQ(extract_opt_name(c[0]), c[1]) << c[0];
    EXPECT_EQ(extract_opt_value(c[0]), c[2]) << c[0];
  }
  const char* const capitalized[][2] = {
      {"--HELP", "--help"}, {"-?", "-?"}, {"", ""}, {"TITLE", "Title"}, {"-CS=UTF-8", "-Cs=utf-8"}};
  for (const auto& c : capitalized) {
    EXPECT_EQ(capitalize(c[0]), c[1]) << c[0];
  }
  EXPECT_EQ(capitalize(nullptr), "");
}

}  // namespace
