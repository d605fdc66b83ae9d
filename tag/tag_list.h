// Showing the file's tag.
#pragma once

#include "tag/tag_option.h"

// Opens option.file_name anew through its own decompressor, so that it shows what the file
// holds now, and prints seven lines: the looked-up labels "Title: ", "Artist: ", "Album: ",
// "Comment: ", "Year: ", "Genre: ", "Track: ", each followed by the field's text converted
// into UTF-8 (empty for a field the tag lacks; at a terminal with its control bytes made
// visible, see append_visible). The decompressor is deleted before it returns.
// Returns 0; -1, with nothing printed, when the file cannot be opened.
int exp_tag(const TTagOption& option);
