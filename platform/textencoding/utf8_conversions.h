// Conversions between UTF-8 and the Japanese character sets, over glibc iconv.
#pragma once

#include "platform/support/support_defs.h"

enum : uint32 {
  B_SJIS_CONVERSION = 11,  // Shift-JIS as Windows software writes it (CP932)
  B_JIS_CONVERSION = 13,   // JIS, 7-bit ISO-2022-JP
};

constexpr char B_SUBSTITUTE = 0x1A;

// Both calls convert *source_length bytes of `source` in one go.
// In:  *source_length bytes offered, *destination_length bytes of room, *state 0 for a new text.
// Out: *source_length bytes consumed, *destination_length bytes written.
// Never writes more than the room given. A character that cannot be converted (or a byte
// sequence that is not valid in the source set) becomes `substitute` and the conversion goes
// on; a destination that fills up ends the conversion with B_OK, the text cut where it stopped
// (a stateful target is always left back in ASCII). An encoding other than the two above:
// B_BAD_VALUE, nothing written.
status_t convert_to_utf8(uint32 source_encoding, const char* source, int32* source_length,
                         char* destination, int32* destination_length, int32* state,
                         char substitute = B_SUBSTITUTE);
status_t convert_from_utf8(uint32 destination_encoding, const char* source, int32* source_length,
                           char* destination, int32* destination_length, int32* state,
                           char substitute = B_SUBSTITUTE);
