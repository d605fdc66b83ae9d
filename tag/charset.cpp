#include "tag/charset.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/textencoding/utf8_conversions.h"

namespace {

constexpr char kSubstitute = 0x1A;
constexpr unsigned char kEscape = 0x1B;

uint32 detect_charset_of(std::string_view text) {
  int escapes = 0;
  int invalid = 0;
  std::string_view::size_type position = 0;
  while (position < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[position]);
    if (lead < 0x80) {
      if (lead == kEscape) {
        ++escapes;
      }
      ++position;
    } else if (lead < 0xC0) {
      ++invalid;
      ++position;
    } else {
      std::string_view::size_type length = 0;
      for (unsigned char bits = lead; bits & 0x80; bits = static_cast<unsigned char>(bits << 1)) {
        ++length;
      }
      for (std::string_view::size_type i = 1; i < length; ++i) {
        if (position + i >= text.size()) {
          ++invalid;  // cut short by the end of the text
          break;
        }
        if ((static_cast<unsigned char>(text[position + i]) & 0xC0) != 0x80) {
          ++invalid;
        }
      }
      position += length;
    }
  }
  if (escapes > 0) {
    return kCharSetJis;
  }
  return invalid > 0 ? kCharSetShiftJis : kCharSetUtf8;
}

// Bytes of the well-formed UTF-8 character at the start of `text`; 1 for a byte that starts
// none, which then counts as a character of its own (a Latin-1 byte, say).
std::size_t utf8_character_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0xC2   ? 1
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 1;
  if (length > text.size()) {
    return 1;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      return 1;
    }
  }
  return length;
}

// Copies as many whole characters of `source` as fit in size - 1 bytes, so that a value cut to
// the buffer never ends inside a character another reader would refuse.
void copy_unchanged(const std::string& source, char* destination, int size) {
  const std::size_t room = static_cast<std::size_t>(size - 1);
  std::size_t length = 0;
  while (length < source.size()) {
    const std::size_t next =
        length + utf8_character_length(std::string_view(source).substr(length));
    if (next > room) {
      break;
    }
    length = next;
  }
  std::memcpy(destination, source.data(), length);
  destination[length] = '\0';
}

int32 clamp_length(std::size_t length) {
  return static_cast<int32>(std::min(length, static_cast<std::size_t>(INT32_MAX)));
}

}  // namespace

int init_encoding_map(TEncodingMap* map) {
  (*map)["JIS"] = kCharSetJis;
  (*map)["J"] = kCharSetJis;
  (*map)["SHIFT-JIS"] = kCharSetShiftJis;
  (*map)["S"] = kCharSetShiftJis;
  (*map)["UTF-8"] = kCharSetUtf8;
  (*map)["U"] = kCharSetUtf8;
  return 0;
}

void convert_from_utf8(const TTagOption& option, const std::string& source, char* destination,
                       int size) {
  if (destination == nullptr || size < 1) {
    return;
  }
  if (option.char_set == kCharSetUtf8 || option.char_set == kCharSetAuto) {
    copy_unchanged(source, destination, size);
    return;
  }
  int32 source_length = clamp_length(source.size());
  int32 destination_length = size - 1;
  int32 state = 0;
  if (convert_from_utf8(option.char_set, source.data(), &source_length, destination,
                        &destination_length, &state, kSubstitute) != B_OK) {
    copy_unchanged(source, destination, size);
    return;
  }
  destination[std::clamp(destination_length, 0, size - 1)] = '\0';
}

void convert_to_utf8(const TTagOption& option, char* buffer, int size) {
  if (buffer == nullptr || size < 1) {
    return;
  }
  const std::string_view text(buffer, strnlen(buffer, static_cast<std::size_t>(size - 1)));
  uint32 encoding = option.char_set;
  if (encoding == kCharSetAuto) {
    encoding = detect_charset_of(text);
  }
  if (encoding != kCharSetShiftJis && encoding != kCharSetJis) {
    return;
  }
  std::vector<char> converted(static_cast<std::size_t>(size));
  int32 source_length = clamp_length(text.size());
  int32 converted_length = size - 1;
  int32 state = 0;
  if (convert_to_utf8(encoding, text.data(), &source_length, converted.data(), &converted_length,
                      &state, kSubstitute) != B_OK) {
    return;
  }
  converted_length = std::clamp(converted_length, 0, size - 1);
  converted[static_cast<std::size_t>(converted_length)] = '\0';
  std::memcpy(buffer, converted.data(), static_cast<std::size_t>(converted_length) + 1);
}

uint32 detect_charset(const char* text) {
  if (text == nullptr) {
    return kCharSetUtf8;
  }
  return detect_charset_of(text);
}
