// Where the audio of a Monkey's Audio image ends at the least, worked out from the raw header
// bytes without any of the library's code, so that the fuzz targets judge the library against
// facts it did not compute itself. Only images whose magic is at offset 0 are judged; 0 means
// "no claim".
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace oracle {

inline uint64_t u16(const uint8_t* data, size_t at) {
  return data[at] | (uint64_t{data[at + 1]} << 8);
}

inline uint64_t u32(const uint8_t* data, size_t at) {
  return u16(data, at) | (u16(data, at + 2) << 16);
}

// The bytes no save may change:
// - descriptor layout (3.98 on): the sum of the descriptor's sizes when the image holds it all;
//   a file cut short holds no provable audio end, so only its header, seek table and stored WAV
//   header count, or its header alone when the file ends before its frames;
// - old layout: the offset of the last frame (the seek table's last entry) plus the WAV tail
//   after it, when the image holds it; otherwise as for a file cut short.
inline uint64_t audio_end(const uint8_t* data, size_t size) {
  if (size < 32 || (std::memcmp(data, "MAC ", 4) != 0 && std::memcmp(data, "MACF", 4) != 0)) {
    return 0;
  }
  const uint64_t version = u16(data, 4);
  if (version >= 3980) {
    const uint64_t descriptor = u32(data, 8);
    if (size < 52) {
      return 0;
    }
    const uint64_t frames_start = descriptor + u32(data, 12) + u32(data, 16) + u32(data, 20);
    const uint64_t declared =
        frames_start + (u32(data, 24) | (u32(data, 28) << 32)) + u32(data, 32);
    if (declared <= size) {
      return declared;
    }
    return frames_start <= size ? frames_start : descriptor + u32(data, 12);
  }
  const uint64_t flags = u16(data, 8);
  const uint64_t frames = u32(data, 24);
  uint64_t header = 32 + ((flags & 4) ? 4 : 0);
  uint64_t seek_entries = frames;
  if (flags & 16) {
    if (size < header + 4) {
      return 0;
    }
    seek_entries = u32(data, header);
    header += 4;
  }
  const uint64_t seek_table = header + ((flags & 32) ? 0 : u32(data, 16));
  const uint64_t frames_start = seek_table + seek_entries * 4 + (version < 3810 ? frames : 0);
  const uint64_t entry = seek_table + (frames - 1) * 4;
  if (frames >= 1 && seek_entries >= frames && entry + 4 <= size) {
    const uint64_t last_frame = u32(data, entry);
    const uint64_t end = last_frame + u32(data, 20);
    if (last_frame >= frames_start && end <= size) {
      return end;
    }
  }
  return frames_start <= size ? frames_start : header;
}

}  // namespace oracle
