#include "util/interface/shortcut.h"

#include <gtest/gtest.h>

namespace {

TEST(ShortCutFromLabel, Table) {
  const std::pair<const char*, char> cases[] = {
      // The character between parentheses.
      {"Save (S)", 's'},
      {"(Q)uit", 'q'},
      {"x)(y) z", 'y'},  // the first ")" after the "(" counts, not the first overall
      {"A (B)", 'b'},    // wins over the blank after the first character
      {"Open (", 0},     // never closed
      // Not exactly one character between, then the second-character markers.
      {"(AB)", 0},
      {"A)(BC)", 'a'},
      {"Q Quit", 'q'},
      {"N・Next", 'n'},
      // The marker must be the first of its kind in the label.
      {"))", 0},
      {"Ab ・", 0},
      {"Q", 0},
      {"", 0},
      {"(\xC9)", '\xC9'},  // only ASCII letters are lowered
  };
  for (const auto& [label, shortcut] : cases)
    EXPECT_EQ(short_cut_from_label(label), shortcut) << '"' << label << '"';
}

TEST(MergeAcceleratorKey, Table) {
  const std::string kInsert = "x(a)";  // any mode byte but 0x01
  const struct {
    std::string format;
    const char *label, *merged;
  } cases[] = {
      {kInsert, "Save", "Save(F)"},
      {kInsert, "Name   :", "Name(F)   :"},        // every blank in front is skipped
      {kInsert, "  ...", "(F)  ..."},              // down to the label's start
      {kInsert, "Mode [A]: x", "Mode(F) [A]: x"},  // "[" before ":"
      {kInsert, "a: [b] c...", "a: [b] c(F)..."},  // "..." before every other kind
      {kInsert, "a:b：", "a:b(F)："},              // "：" before ":"
      {"x[a]a", "Go", "Go[F]a"},                   // only the first "a" is the key
      {"x(b)", "Open...", "Open..."},              // no "a": no accelerator text
      {"\001a:", "Open...", "F:Open..."},
      {"\x01", "Open", "Open"},
      {"", "Open...", "Open..."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(merge_accelerator_key(c.format, "F", c.label), c.merged)
        << "format \"" << c.format << "\" label \"" << c.label << '"';
}

}  // namespace
