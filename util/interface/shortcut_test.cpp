#include "util/interface/shortcut.h"

#include <gtest/gtest.h>

namespace {

TEST(ShortCutFromLabel, Table) {
  const struct {
    const char* label;
    char shortcut;
  } cases[] = {
      // The character between parentheses.
      {"Save (S)", 's'},
      {"(Q)uit", 'q'},
      {"x)(y) z", 'y'},  // the first ")" after the "(" counts, not the first overall
      {"A (B)", 'b'},    // wins over the blank after the first character
      {"Open (", 0},     // never closed
      // Not exactly one character between, then the second-character markers.
      {"(AB)", 0},
      {"A)(BC)", 'a'},
      {"A) Apply", 'a'},
      {"Q Quit", 'q'},
      {"N・Next", 'n'},
      {" ) odd", ' '},
      // The marker must be the first of its kind in the label.
      {"))", 0},
      {"・・", 0},
      {"Ab ・", 0},
      {"Quit", 0},
      {"Q", 0},
      {"", 0},
      // Only ASCII letters are lowered; other bytes come back as they are.
      {"(\xC9)", '\xC9'},
      {"\xC9 Edit", '\xC9'},
  };
  for (const auto& c : cases)
    EXPECT_EQ(short_cut_from_label(c.label), c.shortcut) << '"' << c.label << '"';
}

TEST(MergeAcceleratorKey, Table) {
  const std::string kInsert = "x(a)";  // any mode byte but 0x01
  const std::string kPrefix =
      "\x01"
      "a:";
  const struct {
    std::string format;
    const char* key;
    const char* label;
    const char* merged;
  } cases[] = {
      {kInsert, "F", "Save", "Save(F)"},
      {kInsert, "F", "Name   :", "Name(F)   :"},        // every blank in front is skipped
      {kInsert, "F", "  ...", "(F)  ..."},              // down to the label's start
      {kInsert, "F", "Mode [A]: x", "Mode(F) [A]: x"},  // "[" before ":"
      {kInsert, "F", "a: [b] c...", "a: [b] c(F)..."},  // "..." before every other kind
      {kInsert, "F", "a:b：", "a:b(F)："},              // "：" before ":"
      {kInsert, "F", "", "(F)"},
      {"x[a]a", "F", "Go", "Go[F]a"},       // only the first "a" is the key
      {"x(b)", "F", "Open...", "Open..."},  // no "a": no accelerator text
      {kPrefix, "F", "Open...", "F:Open..."},
      {"\x01", "F", "Open", "Open"},
      {"", "F", "Open...", "Open..."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(merge_accelerator_key(c.format, c.key, c.label), c.merged)
        << "format \"" << c.format << "\" label \"" << c.label << '"';
  }
}

}  // namespace
