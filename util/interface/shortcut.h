// Keyboard shortcuts taken from control labels, and accelerator keys merged into labels.
// Labels are UTF-8 byte strings; the rules work on bytes.
#pragma once

#include <string>
#include <string_view>

// The shortcut character of a label, lower-cased (ASCII letters only), or 0 for none:
// - the one character between the first "(" and the first ")" after it, as in "Save (S)";
// - otherwise the first character when the first ")", the first blank or the first "・"
//   of the label stands right after it, as in "A) Apply", "Q Quit" or "A・Apply".
char short_cut_from_label(std::string_view label);

// Merges the key text `key` into `label` as `format` says. The first byte of `format` is the
// mode, the rest decorates the key: its first "a" is replaced by `key` (no "a" at all gives
// no accelerator text). Mode 0x01 puts the accelerator text before the label. Any other mode
// inserts it before the label's first "...", else first "[", else first "：", else first ":",
// moved left over the blanks in front of that point; a label without any of them gets it at
// its end. An empty format leaves the label as it is.
std::string merge_accelerator_key(std::string_view format, std::string_view key,
                                  std::string_view label);
