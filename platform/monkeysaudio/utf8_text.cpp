#include "platform/monkeysaudio/utf8_text.h"

#include <cstdint>

namespace {

// Bytes of the character led by `lead`, 0 when it cannot lead one.
size_t sequence_length(uint8_t lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

// Whether `byte` may follow `lead` as the character's second byte; the narrower ranges after
// E0, ED, F0 and F4 rule out overlong forms, surrogates and values above U+10FFFF.
bool valid_second(uint8_t lead, uint8_t byte) {
  switch (lead) {
    case 0xE0:
      return byte >= 0xA0 && byte <= 0xBF;
    case 0xED:
      return byte >= 0x80 && byte <= 0x9F;
    case 0xF0:
      return byte >= 0x90 && byte <= 0xBF;
    case 0xF4:
      return byte >= 0x80 && byte <= 0x8F;
    default:
      return (byte & 0xC0) == 0x80;
  }
}

// Bytes of the valid character at `pos`, or of its valid beginning when the text ends inside it
// (*cut set), 0 when the bytes there are not UTF-8.
size_t character_at(std::string_view text, size_t pos, bool* cut) {
  const auto lead = static_cast<uint8_t>(text[pos]);
  const size_t length = sequence_length(lead);
  *cut = false;
  for (size_t i = 1; i < length; ++i) {
    if (pos + i == text.size()) {
      *cut = true;
      return i;
    }
    const auto byte = static_cast<uint8_t>(text[pos + i]);
    if (i == 1 ? !valid_second(lead, byte) : (byte & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

}  // namespace

size_t valid_utf8_prefix(std::string_view text) {
  size_t pos = 0;
  bool cut = false;
  while (pos < text.size()) {
    const size_t length = character_at(text, pos, &cut);
    if (length == 0 || cut) {
      break;
    }
    pos += length;
  }
  return pos;
}

size_t utf8_without_cut_tail(std::string_view text) {
  const size_t valid = valid_utf8_prefix(text);
  bool cut = false;
  // Nothing before the broken character: the text is no UTF-8 that was cut, keep it.
  if (valid > 0 && valid < text.size() && character_at(text, valid, &cut) > 0 && cut) {
    return valid;
  }
  return text.size();
}
