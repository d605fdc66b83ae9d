// Helpers shared by the library's tests: temporary folders, whole-file reads and writes, and
// synthesised tag bytes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/monkeysaudio/ape_tag.h"

// A fresh folder under TMPDIR (or /tmp), removed with everything in it.
class TTempDir {
 public:
  TTempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/quillet-ape-XXXXXX";
    fPath = mkdtemp(pattern.data());
  }
  ~TTempDir() { std::filesystem::remove_all(fPath); }
  std::string File(const std::string& name) const { return fPath + "/" + name; }

 private:
  std::string fPath;
};

inline std::string fixture(const std::string& name) {
  return std::string(QUILLET_FIXTURES_DIR) + "/peers/" + name;
}

inline TBytes read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_all(const std::string& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline TBytes operator+(TBytes a, const TBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline TBytes text_bytes(std::string_view text) {
  return TBytes(text.begin(), text.end());
}

// One stored item, exactly as given (no checks), for crafting hostile tags.
inline TBytes item_bytes(uint32_t value_size, uint32_t flags, std::string_view key,
                         std::string_view value) {
  TBytes out;
  append_u32le(out, value_size);
  append_u32le(out, flags);
  out.insert(out.end(), key.begin(), key.end());
  out.push_back(0);
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

// A header or footer block with the given fields.
inline TBytes tag_block(uint32_t version, uint32_t tag_size, uint32_t count, uint32_t flags) {
  TBytes out = text_bytes("APETAGEX");
  append_u32le(out, version);
  append_u32le(out, tag_size);
  append_u32le(out, count);
  append_u32le(out, flags);
  out.insert(out.end(), 8, 0);
  return out;
}

// An ID3v1 tag with the given title and genre.
inline TBytes id3v1_bytes(std::string_view title, uint8_t genre = 255) {
  TBytes out = text_bytes("TAG");
  out.resize(128, 0);
  std::copy(title.begin(), title.end(), out.begin() + 3);
  out[127] = genre;
  return out;
}
