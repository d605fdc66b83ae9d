// Character-set detection and both conversions, on any bytes and any room: the text comes from
// tags other software wrote and from the command line. The buffers are exactly as large as the
// room given, so that the sanitizer sees any write past it, and every result must be terminated.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/textencoding/utf8_conversions.h"
#include "tag/charset.h"
#include "tag/tag_option.h"

namespace {

const uint32 kSets[] = {kCharSetShiftJis, kCharSetJis, kCharSetUtf8, kCharSetAuto};

void require_terminated(const char* buffer, int room) {
  if (std::memchr(buffer, '\0', room) == nullptr) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  TTagOption option;
  option.char_set = kSets[data[0] % 4];
  const int room = 1 + data[1] % 64 + (data[0] & 0x80 ? 2000 : 0);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  // Detection reads up to the NUL of an exactly sized copy.
  auto exact = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(exact.get(), text.c_str(), text.size() + 1);
  const uint32 detected = detect_charset(exact.get());
  if (detected != kCharSetShiftJis && detected != kCharSetJis && detected != kCharSetUtf8) {
    __builtin_trap();
  }

  auto destination = std::make_unique<char[]>(room);
  convert_from_utf8(option, text, destination.get(), room);
  require_terminated(destination.get(), room);

  auto buffer = std::make_unique<char[]>(room);
  const size_t kept = std::min(text.size(), static_cast<size_t>(room - 1));
  std::memcpy(buffer.get(), text.data(), kept);
  buffer[kept] = '\0';
  convert_to_utf8(option, buffer.get(), room);
  require_terminated(buffer.get(), room);

  // The platform calls themselves: never more than the room, counts within what was offered.
  for (uint32 encoding : {uint32{B_SJIS_CONVERSION}, uint32{B_JIS_CONVERSION}}) {
    int32 source_length = static_cast<int32>(text.size());
    int32 destination_length = room;
    int32 state = 0;
    auto out = std::make_unique<char[]>(room);
    const status_t to = convert_to_utf8(encoding, text.data(), &source_length, out.get(),
                                        &destination_length, &state);
    if (to == B_OK && (destination_length < 0 || destination_length > room || source_length < 0 ||
                       source_length > static_cast<int32>(text.size()))) {
      __builtin_trap();
    }
    source_length = static_cast<int32>(text.size());
    destination_length = room;
    state = 0;
    const status_t from = convert_from_utf8(encoding, text.data(), &source_length, out.get(),
                                            &destination_length, &state);
    if (from == B_OK && (destination_length < 0 || destination_length > room || source_length < 0 ||
                         source_length > static_cast<int32>(text.size()))) {
      __builtin_trap();
    }
  }
  return 0;
}
