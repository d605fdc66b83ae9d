// Little-endian field access for the byte layouts of Monkey's Audio headers and APE tags, and
// the reader through which the byte core asks a file for more bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/monkeysaudio/core/limits.h"

using TByteSpan = std::span<const uint8_t>;
using TBytes = std::vector<uint8_t>;

// A file's bytes, for the functions that read more of it than they are handed.
struct TFileReader {
  // Fills `out` (resized to `size`) with the file's bytes from `offset`; false when it cannot.
  std::function<bool(uint64_t offset, uint64_t size, TBytes* out)> read;
  // What a walk through a tag's items reads at a time.
  uint64_t chunk_bytes = kItemsChunkBytes;
};

// The caller guarantees offset + 2 (or 4) <= bytes.size().
inline uint16_t read_u16le(TByteSpan bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline uint32_t read_u32le(TByteSpan bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

inline void append_u32le(TBytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

// True when `bytes` holds `text` (without its NUL) at `offset`; false when it would not fit.
inline bool has_text_at(TByteSpan bytes, size_t offset, std::string_view text) {
  if (offset > bytes.size() || bytes.size() - offset < text.size()) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (bytes[offset + i] != static_cast<uint8_t>(text[i])) {
      return false;
    }
  }
  return true;
}
