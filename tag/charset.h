// Tag text in UTF-8, Shift-JIS or JIS: the names the user may give, the conversions before
// writing and before listing, and the guess of a stored field's set.
#pragma once

#include <map>
#include <string>

#include "platform/support/support_defs.h"
#include "tag/tag_option.h"

// Character-set name in upper case -> character-set id. Every id stored is non-zero.
using TEncodingMap = std::map<std::string, unsigned long>;

// Sets "JIS", "J" -> 13, "SHIFT-JIS", "S" -> 11, "UTF-8", "U" -> 15. Returns 0.
int init_encoding_map(TEncodingMap* map);

// Puts `source` (UTF-8) into `destination`, converted into the set that option.char_set
// names; UTF-8 and automatic copy it unchanged. Always leaves a NUL-terminated text of at
// most size - 1 bytes, cut between two characters of the set it is written in (a byte that is
// no part of a well-formed UTF-8 character counts as one). When the conversion fails the value
// is copied unconverted rather than lost. Does nothing when size < 1.
void convert_from_utf8(const TTagOption& option, const std::string& source, char* destination,
                       int size);

// Converts the NUL-terminated text in `buffer` (of `size` bytes) into UTF-8 in place, from
// the set that option.char_set names, or in automatic mode from the set detect_charset picks
// for this text. UTF-8, or any unknown set, leaves it unchanged. The result is cut to
// size - 1 bytes; when the conversion fails the buffer keeps its bytes.
void convert_to_utf8(const TTagOption& option, char* buffer, int size);

// Guesses the set of a NUL-terminated text from its structure: JIS when an ESC byte starts a
// sequence; otherwise Shift-JIS when some sequence is not well-formed UTF-8; otherwise UTF-8
// (plain ASCII and the empty text included). Never reads past the terminating NUL.
uint32 detect_charset(const char* text);
