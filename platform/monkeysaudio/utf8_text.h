// Strict UTF-8 checks for the text the library stores.
#pragma once

#include <cstddef>
#include <string_view>

// Length of the longest prefix of `text` made of whole, valid UTF-8 characters (no overlong
// forms, surrogates or values above U+10FFFF).
size_t valid_utf8_prefix(std::string_view text);

// `text` without a last character cut short, when everything before it is valid UTF-8 and not
// empty: the length to keep. A text that is not UTF-8 at all (Shift-JIS, JIS) keeps its whole
// length.
size_t utf8_without_cut_tail(std::string_view text);
