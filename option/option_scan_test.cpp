#include "option/option_scan.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionScan, SplitsNameAndValue) {
  struct Case {
    const char* argument;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"-t=Seasons", "-T", "Seasons"},
      {"-Artist:Jack and Ken", "-ARTIST", "Jack and Ken"},
      {"-C=a=b:c", "-C", "a=b:c"},
      {"-c:a=b", "-C", "a=b"},
      {"-Y=", "-Y", ""},
      {"-HELP", "-HELP", ""},
      {"--help", "--HELP", ""},
      {"-=x", "-", "x"},
      {"-", "-", ""},
      {"-t= Mixed Case ", "-T", " Mixed Case "},
      {"-t=\"quoted\"", "-T", "\"quoted\""},
      // Bytes above 0x7F are not letters: they pass through whatever the locale.
      {"-\xE9t\xC3\xA9=\xC3\xA9", "-\xE9T\xC3\xA9", "\xC3\xA9"},
      // Not an option: the name is the argument unchanged, the value is still split.
      {"MyApe.ape", "MyApe.ape", ""},
      {"c:song", "c:song", "song"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(extract_opt_name(c.argument), c.name);
    EXPECT_EQ(extract_opt_value(c.argument), c.value);
  }
}

TEST(OptionScan, CapitalizeLowersAllButTheLeadingCharacters) {
  struct Case {
    const char* name;
    const char* shown;
  };
  const Case cases[] = {
      {"-TITLE", "-Title"},
      {"-REMOVEALL", "-Removeall"},
      {"-CHARSET", "-Charset"},
      {"--HELP", "--help"},
      {"-?", "-?"},
      {"-V", "-V"},
      {"-", "-"},
      {"", ""},
      {"T", "T"},
      {"TITLE", "Title"},
      {"-title", "-title"},
      {"-CS=UTF-8", "-Cs=utf-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(capitalize(c.name), c.shown);
  }
  EXPECT_EQ(capitalize(nullptr), "");
}

}  // namespace
