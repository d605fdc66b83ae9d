// The 128-byte ID3v1 tag at the end of a file, read as APE items.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/monkeysaudio/core/ape_tag.h"

// Title, Artist, Album, Year, Comment, Track (ID3v1.1) and Genre of `block` (128 bytes starting
// with "TAG") as text items in UTF-8 (see id3v1_text_to_utf8), leaving out empty fields and
// genre 255. Trailing NULs and blanks are cut.
std::vector<TApeItem> parse_id3v1(TByteSpan block);

// One ID3v1 text field as UTF-8. The format's text is Latin-1, but Japanese software wrote
// Shift-JIS (as Windows has it, CP932) there. A field is read as Shift-JIS when its bytes are
// well-formed Shift-JIS and hold at least one two-byte character led by a byte 0x81..0x9F: in
// Latin-1 those bytes are control codes, which no text holds, while every kana and the common
// kanji start with one. A last lead byte without its second byte (a field cut at 30 bytes) is
// dropped. Text that switches to a two-byte set by an escape (ESC $) and decodes as JIS
// (ISO-2022-JP) is JIS. Everything else is Latin-1.
std::string id3v1_text_to_utf8(std::string_view text);
