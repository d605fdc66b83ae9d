#include "option/option_scan.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionScan, SplitsNameAndValue) {
  const char* const cases[][3] = {
      // argument, name, value
      {"-t=Seasons", "-T", "Seasons"},
      {"-Artist:Jack and Ken", "-ARTIST", "Jack and Ken"},
      {"-C=a=b:c", "-C", "a=b:c"},
      {"-c:a=b", "-C", "a=b"},
      {"-Y=", "-Y", ""},
      {"--help", "--HELP", ""},
      {"-=x", "-", "x"},
      {"-", "-", ""},
      {"-t= \"Mixed\" Case ", "-T", " \"Mixed\" Case "},
      // Bytes above 0x7F are not letters: they pass through whatever the locale.
      {"-\xE9t\xC3\xA9=\xC3\xA9", "-\xE9T\xC3\xA9", "\xC3\xA9"},
      // Not an option: the name is the argument unchanged, the value is still split.
      {"c:song", "c:song", "song"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(extract_opt_name(c[0]), c[1]) << c[0];
    EXPECT_EQ(extract_opt_value(c[0]), c[2]) << c[0];
  }
}

TEST(OptionScan, CapitalizeLowersAllButTheLeadingCharacters) {
  const char* const cases[][2] = {
      {"-TITLE", "-Title"},
      {"--HELP", "--help"},
      {"-?", "-?"},
      {"-", "-"},
      {"", ""},
      {"TITLE", "Title"},
      {"-title", "-title"},
      {"-CS=UTF-8", "-Cs=utf-8"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(capitalize(c[0]), c[1]) << c[0];
  }
  EXPECT_EQ(capitalize(nullptr), "");
}

}  // namespace
