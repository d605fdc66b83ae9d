// Helpers shared by the library's tests: temporary folders, whole files and crafted tag bytes.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/monkeysaudio/core/ape_tag.h"
#include "tests/fixtures.h"

class TTempDir {
 public:
  TTempDir() : fPath((std::filesystem::temp_directory_path() / "quillet-ape-XXXXXX").string()) {
    if (mkdtemp(fPath.data()) == nullptr)
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + fPath);
  }
  ~TTempDir() { std::filesystem::remove_all(fPath); }
  std::string File(const std::string& name) const { return fPath + "/" + name; }

 private:
  std::string fPath;
};

inline TBytes text_bytes(std::string_view text) {
  return TBytes(text.begin(), text.end());
}

inline TBytes read_all(const std::string& path) {
  return text_bytes(read_file(path));
}

// The smallest sane 3.99 stream, no tag: descriptor, header, seek table, WAV header and frames,
// 172 bytes of audio in all.
inline const TBytes& sample_audio() {
  static const TBytes bytes = read_all(QUILLET_FIXTURES_DIR "/peers/mutagen/mac-399.ape");
  return bytes;
}

inline void write_all(const std::string& path, const TBytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline TBytes operator+(TBytes a, const TBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline TBytes u32le(std::initializer_list<uint32_t> values) {
  TBytes out;
  for (uint32_t value : values) {
    append_u32le(out, value);
  }
  return out;
}

// One stored item, exactly as given (no checks), for crafting hostile tags.
inline TBytes item_bytes(uint32_t value_size, uint32_t flags, std::string_view key,
                         std::string_view value) {
  return u32le({value_size, flags}) + text_bytes(key) + TBytes{0} + text_bytes(value);
}

inline TBytes tag_block(uint32_t version, uint32_t tag_size, uint32_t count, uint32_t flags) {
  return text_bytes("APETAGEX") + u32le({version, tag_size, count, flags, 0, 0});
}

inline TBytes id3v1_bytes(std::string_view title, uint8_t genre = 255) {
  TBytes out = text_bytes("TAG") + text_bytes(title);
  out.resize(128, 0);
  out[127] = genre;
  return out;
}

// A Monkey's Audio stream in the old layout (3.95, seek count stored, no WAV header): frames of
// 2000 and `last_frame` bytes, the first ending in `fill`, and `wav_tail` bytes of the source
// WAV's tail declared stored after the last frame. Its end is proven only up to the last frame's
// start plus that tail.
inline TBytes old_stream(uint32_t last_frame, std::string_view fill = "", uint32_t wav_tail = 0) {
  TBytes out = text_bytes("MAC ") + u32le({3950 | (2000u << 16), 0x30 | (2u << 16), 44100, 0,
                                           wav_tail, 2, 100, 2, 44, 44 + 2000});
  out.resize(44 + 2000 - fill.size(), 0x5A);
  out = out + text_bytes(fill);
  out.resize(out.size() + last_frame, 0x6B);
  return out;
}
