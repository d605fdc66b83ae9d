// The 128-byte ID3v1 tag at the end of a file, read as APE items.
#pragma once

#include <vector>

#include "platform/monkeysaudio/ape_tag.h"

constexpr size_t kId3v1Bytes = 128;

// Title, Artist, Album, Year, Comment, Track (ID3v1.1) and Genre of `block` (128 bytes starting
// with "TAG") as text items, leaving out empty fields and genre 255. Text is handed on as
// stored, without conversion: Latin-1 and Shift-JIS are both common there. Trailing NULs and
// blanks are cut.
std::vector<TApeItem> parse_id3v1(TByteSpan block);
