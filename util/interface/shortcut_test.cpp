#include "util/interface/shortcut.h"

#include <gtest/gtest.h>

namespace {

TEST(ShortCutFromLabel, Table) {
  const std::pair<const char*, char> cases[] = {
      {"Save (S)", 's'},                      // the character between parentheses, lowered
      {"x)(y) z", 'y'},                       // the first ")" after the "(" counts
      {"Open (", 0},                          // never closed
      {"A)(BC)", 'a'},                        // not one character between: the first, marked by ")"
      {"Q Quit", 'q'},                        // ... or by a blank
      {"N・Next", 'n'},                       // ... or by "・"
      {"Ab ・", 0},                           // the marker must be the first of its kind
      {"", 0},           {"(\xC9)", '\xC9'},  // only ASCII letters are lowered
  };
  for (const auto& [label, shortcut] : cases)
    EXPECT_EQ(short_cut_from_label(label), shortcut) << '"' << label << '"';
}

TEST(MergeAcceleratorKey, Table) {
  const struct {
    std::string format;
    const char *label, *merged;
  } cases[] = {
      {"x(a)", "Save", "Save(F)"},                // no insertion point: at the end
      {"x(a)", "Name   :", "Name(F)   :"},        // before the blanks in front of ":"
      {"x(a)", "  ...", "(F)  ..."},              // down to the label's start
      {"x(a)", "Mode [A]: x", "Mode(F) [A]: x"},  // "[" before ":"
      {"x(a)", "a: [b] c...", "a: [b] c(F)..."},  // "..." before every other kind
      {"x(a)", "a:b：", "a:b(F)："},              // "：" before ":"
      {"x[a]a", "Go", "Go[F]a"},                  // only the first "a" is the key
      {"x(b)", "Open...", "Open..."},             // no "a": no accelerator text
      {"\001a:", "Open...", "F:Open..."},         // mode byte 0x01: in front
      {"", "Open...", "Open..."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(merge_accelerator_key(c.format, "F", c.label), c.merged)
        << "format \"" << c.format << "\" label \"" << c.label << '"';
}

}  // namespace
