#include "platform/textencoding/utf8_conversions.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

// Every conversion goes one character at a time, so that a destination that fills up cuts the
// text at a character boundary, and the JIS output can always be closed with its ESC ( B.

namespace {

constexpr char kAsciiDesignation[] = "\x1B(B";
constexpr std::size_t kAsciiDesignationLength = 3;
// Room for the longest output of one character: a designation plus two bytes, or a reset,
// a substitute and a spare.
constexpr std::size_t kCharacterRoom = 16;

class TIconv {
 public:
  TIconv(const char* to, const char* from) : fHandle(iconv_open(to, from)) {}
  ~TIconv() {
    if (IsOpen()) {
      iconv_close(fHandle);
    }
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  bool IsOpen() const { return fHandle != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return fHandle; }

 private:
  iconv_t fHandle;
};

enum class TStep { kConverted, kInvalid, kIncomplete };

struct TCharacter {
  TStep step;
  char bytes[kCharacterRoom];
  std::size_t length;
};

// Converts exactly the `length` bytes at `source` (one character) with `cd`.
TCharacter convert_one(iconv_t cd, const char* source, std::size_t length) {
  TCharacter result{TStep::kConverted, {}, 0};
  char* in = const_cast<char*>(source);
  std::size_t in_left = length;
  char* out = result.bytes;
  std::size_t out_left = sizeof(result.bytes);
  if (iconv(cd, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) {
    // E2BIG cannot happen for one character; any failure counts as an invalid one.
    result.step = errno == EINVAL ? TStep::kIncomplete : TStep::kInvalid;
  }
  result.length = sizeof(result.bytes) - out_left;
  return result;
}

// The destination: it takes whole characters only, and for a stateful (ISO-2022-JP) target
// only while the designation back to ASCII still fits behind them.
class TDestination {
 public:
  TDestination(char* buffer, std::size_t room, bool stateful)
      : fBuffer(buffer), fRoom(room), fStateful(stateful) {}

  // Appends the bytes of one character; false (nothing written) when they do not fit.
  bool Put(const char* bytes, std::size_t length) {
    bool ascii_after = fAscii;
    if (fStateful) {
      for (std::size_t i = 0; i + 1 < length; ++i) {
        if (bytes[i] == '\x1B') {
          ascii_after = i + 2 < length && bytes[i + 1] == '(' && bytes[i + 2] == 'B';
        }
      }
    }
    const std::size_t closing = fStateful && !ascii_after ? kAsciiDesignationLength : 0;
    if (length > fRoom - fWritten || closing > fRoom - fWritten - length) {
      return false;
    }
    std::memcpy(fBuffer + fWritten, bytes, length);
    fWritten += length;
    fAscii = ascii_after;
    return true;
  }

  // A substitute in a stateful target goes after a return to ASCII, taken from `cd` so that
  // the converter's own state is reset too.
  bool PutSubstitute(iconv_t cd, char substitute) {
    char bytes[kCharacterRoom];
    std::size_t length = 0;
    if (fStateful) {
      char* out = bytes;
      std::size_t out_left = sizeof(bytes) - 1;
      iconv(cd, nullptr, nullptr, &out, &out_left);
      length = sizeof(bytes) - 1 - out_left;
    }
    bytes[length++] = substitute;
    return Put(bytes, length);
  }

  // Leaves a stateful target in ASCII; Put has kept room for this.
  void Close() {
    if (fStateful && !fAscii) {
      std::memcpy(fBuffer + fWritten, kAsciiDesignation, kAsciiDesignationLength);
      fWritten += kAsciiDesignationLength;
      fAscii = true;
    }
  }

  std::size_t Written() const { return fWritten; }

 private:
  char* fBuffer;
  std::size_t fRoom;
  bool fStateful;
  std::size_t fWritten = 0;
  bool fAscii = true;
};

// Length of the UTF-8 sequence that `lead` begins; 1 for a byte that begins none.
std::size_t utf8_length(unsigned char lead) {
  if (lead < 0xC2) {
    return 1;
  }
  if (lead < 0xE0) {
    return 2;
  }
  if (lead < 0xF0) {
    return 3;
  }
  return lead < 0xF5 ? 4 : 1;
}

bool is_cp932_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// How much of a UTF-8 sequence that could not be converted to skip: the lead byte and the
// continuation bytes that follow it, up to the length the lead announces. A character the
// target lacks is skipped whole; a broken sequence never swallows the character after it.
std::size_t invalid_utf8_length(const char* sequence, std::size_t announced) {
  std::size_t size = 1;
  while (size < announced && (static_cast<unsigned char>(sequence[size]) & 0xC0) == 0x80) {
    ++size;
  }
  return size;
}

// Runs a stateless source through `cd` one character at a time. An invalid UTF-8 sequence is
// skipped as above, an invalid CP932 one by one byte (so that a bad trail byte is read again
// as a character of its own); an incomplete one at the end gives one substitute. Returns the
// count of source bytes consumed.
std::size_t convert_characters(iconv_t cd, bool utf8_source, const char* source, std::size_t length,
                               TDestination* destination, char substitute) {
  std::size_t position = 0;
  while (position < length) {
    const auto lead = static_cast<unsigned char>(source[position]);
    std::size_t size = utf8_source ? utf8_length(lead) : (is_cp932_lead(lead) ? 2 : 1);
    size = size < length - position ? size : length - position;
    const TCharacter character = convert_one(cd, source + position, size);
    switch (character.step) {
      case TStep::kConverted:
        if (!destination->Put(character.bytes, character.length)) {
          return position;
        }
        break;
      case TStep::kInvalid:
        if (!destination->PutSubstitute(cd, substitute)) {
          return position;
        }
        size = utf8_source ? invalid_utf8_length(source + position, size) : 1;
        break;
      case TStep::kIncomplete:
        if (!destination->PutSubstitute(cd, substitute)) {
          return position;
        }
        return length;
    }
    position += size;
  }
  return position;
}

// JIS is read by a pass of our own: ESC $ B / ESC $ @ pairs become Shift-JIS bytes by the
// fixed row arithmetic and go through CP932, which gives Windows JIS its NEC and IBM rows;
// ESC ( I and SO/SI katakana become the single bytes A1..DF. ESC ( J is read as ASCII, as
// Windows does. Pairs of other two-byte sets (JIS X 0212, GB 2312, KS C 5601) are
// substituted. An escape sequence that is not recognised passes through as text.
enum class TJisSet { kAscii, kKatakana, kJisX0208, kOtherDoubleByte };

struct TEscape {
  const char* sequence;  // after the ESC
  TJisSet set;
};

constexpr TEscape kEscapes[] = {
    {"(B", TJisSet::kAscii},
    {"(J", TJisSet::kAscii},
    {"(H", TJisSet::kAscii},
    {"(I", TJisSet::kKatakana},
    {"$@", TJisSet::kJisX0208},
    {"$B", TJisSet::kJisX0208},
    {"$(B", TJisSet::kJisX0208},
    {"$(@", TJisSet::kJisX0208},
    {"$A", TJisSet::kOtherDoubleByte},
    {"$(C", TJisSet::kOtherDoubleByte},
    {"$(D", TJisSet::kOtherDoubleByte},
};

bool is_jis_byte(unsigned char byte) {
  return byte >= 0x21 && byte <= 0x7E;
}

std::size_t convert_jis(iconv_t cp932_to_utf8, const char* source, std::size_t length,
                        TDestination* destination, char substitute) {
  TJisSet set = TJisSet::kAscii;
  bool shifted_out = false;
  std::size_t position = 0;
  while (position < length) {
    const auto byte = static_cast<unsigned char>(source[position]);
    if (byte == 0x1B) {
      const char* rest = source + position + 1;
      const std::size_t rest_length = length - position - 1;
      bool matched = false;
      bool incomplete = false;
      for (const TEscape& escape : kEscapes) {
        const std::size_t size = std::strlen(escape.sequence);
        if (rest_length >= size && std::memcmp(rest, escape.sequence, size) == 0) {
          set = escape.set;
          position += 1 + size;
          matched = true;
          break;
        }
        if (rest_length < size && std::memcmp(rest, escape.sequence, rest_length) == 0) {
          incomplete = true;
        }
      }
      if (matched) {
        continue;
      }
      if (incomplete) {
        return destination->PutSubstitute(cp932_to_utf8, substitute) ? length : position;
      }
    } else if (byte == 0x0E || byte == 0x0F) {
      shifted_out = byte == 0x0E;
      ++position;
      continue;
    }

    char sjis[2] = {static_cast<char>(byte), 0};
    std::size_t sjis_length = 1;
    std::size_t size = 1;
    bool valid = byte < 0x80;
    if (byte >= 0x21 && byte < 0x7F) {
      if (shifted_out || set == TJisSet::kKatakana) {
        valid = byte <= 0x5F;
        sjis[0] = static_cast<char>(byte + 0x80);
      } else if (set == TJisSet::kJisX0208 || set == TJisSet::kOtherDoubleByte) {
        if (position + 1 == length) {
          return destination->PutSubstitute(cp932_to_utf8, substitute) ? length : position;
        }
        const auto trail = static_cast<unsigned char>(source[position + 1]);
        valid = set == TJisSet::kJisX0208 && is_jis_byte(trail);
        if (is_jis_byte(trail)) {
          size = 2;
        }
        const bool odd_row = (byte & 1) != 0;
        sjis[0] = static_cast<char>((byte + 1) / 2 + (byte <= 0x5E ? 0x70 : 0xB0));
        sjis[1] = static_cast<char>(trail + (odd_row ? (trail >= 0x60 ? 0x20 : 0x1F) : 0x7E));
        sjis_length = 2;
      }
    }
    bool put;
    if (!valid) {
      put = destination->PutSubstitute(cp932_to_utf8, substitute);
    } else if (sjis_length == 1 && byte < 0x80 && !shifted_out && set != TJisSet::kKatakana) {
      put = destination->Put(sjis, 1);
    } else {
      const TCharacter character = convert_one(cp932_to_utf8, sjis, sjis_length);
      put = character.step == TStep::kConverted
                ? destination->Put(character.bytes, character.length)
                : destination->PutSubstitute(cp932_to_utf8, substitute);
    }
    if (!put) {
      return position;
    }
    position += size;
  }
  return position;
}

bool arguments_valid(const char* source, const int32* source_length, const char* destination,
                     const int32* destination_length) {
  return source_length != nullptr && destination_length != nullptr && *source_length >= 0 &&
         *destination_length >= 0 && (source != nullptr || *source_length == 0) &&
         (destination != nullptr || *destination_length == 0);
}

status_t fail(int32* source_length, int32* destination_length) {
  if (source_length != nullptr) {
    *source_length = 0;
  }
  if (destination_length != nullptr) {
    *destination_length = 0;
  }
  return B_BAD_VALUE;
}

}  // namespace

status_t convert_to_utf8(uint32 source_encoding, const char* source, int32* source_length,
                         char* destination, int32* destination_length, int32* state,
                         char substitute) {
  if ((source_encoding != B_SJIS_CONVERSION && source_encoding != B_JIS_CONVERSION) ||
      !arguments_valid(source, source_length, destination, destination_length)) {
    return fail(source_length, destination_length);
  }
  TIconv cd("UTF-8", "CP932");
  if (!cd.IsOpen()) {
    return fail(source_length, destination_length);
  }
  TDestination output(destination, static_cast<std::size_t>(*destination_length), false);
  const auto length = static_cast<std::size_t>(*source_length);
  const std::size_t consumed =
      source_encoding == B_JIS_CONVERSION
          ? convert_jis(cd.Get(), source, length, &output, substitute)
          : convert_characters(cd.Get(), false, source, length, &output, substitute);
  *source_length = static_cast<int32>(consumed);
  *destination_length = static_cast<int32>(output.Written());
  if (state != nullptr) {
    *state = 0;
  }
  return B_OK;
}

status_t convert_from_utf8(uint32 destination_encoding, const char* source, int32* source_length,
                           char* destination, int32* destination_length, int32* state,
                           char substitute) {
  if ((destination_encoding != B_SJIS_CONVERSION && destination_encoding != B_JIS_CONVERSION) ||
      !arguments_valid(source, source_length, destination, destination_length)) {
    return fail(source_length, destination_length);
  }
  const bool jis = destination_encoding == B_JIS_CONVERSION;
  TIconv cd(jis ? "ISO-2022-JP" : "CP932", "UTF-8");
  if (!cd.IsOpen()) {
    return fail(source_length, destination_length);
  }
  TDestination output(destination, static_cast<std::size_t>(*destination_length), jis);
  const std::size_t consumed = convert_characters(
      cd.Get(), true, source, static_cast<std::size_t>(*source_length), &output, substitute);
  output.Close();
  *source_length = static_cast<int32>(consumed);
  *destination_length = static_cast<int32>(output.Written());
  if (state != nullptr) {
    *state = 0;
  }
  return B_OK;
}
