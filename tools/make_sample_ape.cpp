// Writes a sample Monkey's Audio file: a whole, sane header in the descriptor layout (version
// 3.99, 16-bit stereo at 44.1 kHz), a seek table and frames of filler bytes, and no tag. The
// header is what tag software checks; the frames are not meant to be decoded or played.
//
//   make_sample_ape [--sparse] FILE [SIZE]
//
// SIZE is the file's length in bytes, with an optional K, M or G suffix (powers of 1024);
// 100K when left out. --sparse leaves the frames as a hole in the file instead of writing them,
// which makes a large file at once and takes no room on disk.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kDescriptorBytes = 52;
constexpr uint32_t kHeaderBytes = 24;
constexpr uint32_t kBlocksPerFrame = 73728;
// Roughly what one frame of CD audio compresses to, so the frame count looks real.
constexpr uint64_t kBytesPerFrame = 150000;
constexpr uint64_t kSmallestFile = 1024;
// Seek table entries are 32-bit offsets.
constexpr uint64_t kLargestFile = 0xF0000000ull;

void put16(std::vector<unsigned char>* bytes, uint32_t value) {
  bytes->push_back(value & 0xFF);
  bytes->push_back((value >> 8) & 0xFF);
}

void put32(std::vector<unsigned char>* bytes, uint32_t value) {
  put16(bytes, value & 0xFFFF);
  put16(bytes, value >> 16);
}

bool parse_size(const char* text, uint64_t* size) {
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text) {
    return false;
  }
  uint64_t unit = 1;
  if (*end == 'K' || *end == 'k') {
    unit = 1024;
  } else if (*end == 'M' || *end == 'm') {
    unit = 1024 * 1024;
  } else if (*end == 'G' || *end == 'g') {
    unit = 1024 * 1024 * 1024;
  }
  if (unit != 1) {
    ++end;
  }
  if (*end != '\0') {
    return false;
  }
  *size = value * unit;
  return true;
}

bool write_all(int fd, const unsigned char* bytes, size_t count) {
  while (count > 0) {
    ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

std::vector<unsigned char> header_bytes(uint64_t file_size) {
  uint64_t frames = (file_size - kDescriptorBytes - kHeaderBytes) / kBytesPerFrame;
  if (frames == 0) {
    frames = 1;
  }
  const uint32_t seek_table_bytes = static_cast<uint32_t>(4 * frames);
  const uint64_t first_frame = kDescriptorBytes + kHeaderBytes + seek_table_bytes;
  const uint64_t frame_data_bytes = file_size - first_frame;

  std::vector<unsigned char> bytes;
  const char magic[] = "MAC ";
  bytes.insert(bytes.end(), magic, magic + 4);
  put16(&bytes, 3990);  // version 3.99
  put16(&bytes, 0);
  put32(&bytes, kDescriptorBytes);
  put32(&bytes, kHeaderBytes);
  put32(&bytes, seek_table_bytes);
  put32(&bytes, 0);  // no stored WAV header
  put32(&bytes, static_cast<uint32_t>(frame_data_bytes & 0xFFFFFFFFu));
  put32(&bytes, static_cast<uint32_t>(frame_data_bytes >> 32));
  put32(&bytes, 0);                  // no terminating data
  bytes.insert(bytes.end(), 16, 0);  // MD5: not computed

  put16(&bytes, 2000);  // compression level: normal
  put16(&bytes, 0x20);  // format flags: the WAV header is not stored
  put32(&bytes, kBlocksPerFrame);
  put32(&bytes, kBlocksPerFrame / 2);  // blocks in the final frame
  put32(&bytes, static_cast<uint32_t>(frames));
  put16(&bytes, 16);  // bits per sample
  put16(&bytes, 2);   // channels
  put32(&bytes, 44100);

  const uint64_t frame_bytes = frame_data_bytes / frames;
  for (uint64_t frame = 0; frame < frames; ++frame) {
    put32(&bytes, static_cast<uint32_t>(first_frame + frame * frame_bytes));
  }
  return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
  bool sparse = false;
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--sparse") == 0) {
    sparse = true;
    first = 2;
  }
  uint64_t size = 100 * 1024;
  if (argc - first < 1 || argc - first > 2 ||
      (argc - first == 2 && !parse_size(argv[first + 1], &size))) {
    std::fprintf(stderr, "usage: %s [--sparse] FILE [SIZE[K|M|G]]\n", argv[0]);
    return 2;
  }
  if (size < kSmallestFile || size > kLargestFile) {
    std::fprintf(stderr, "%s: SIZE must be from %llu to %llu bytes\n", argv[0],
                 static_cast<unsigned long long>(kSmallestFile),
                 static_cast<unsigned long long>(kLargestFile));
    return 2;
  }
  const char* path = argv[first];
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], path, std::strerror(errno));
    return 1;
  }
  const std::vector<unsigned char> header = header_bytes(size);
  bool ok = write_all(fd, header.data(), header.size());
  if (ok && sparse) {
    ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
  } else if (ok) {
    // Filler that does not look like a tag or a header anywhere.
    std::vector<unsigned char> chunk(1 << 20);
    uint32_t state = 0x9E3779B9u;
    for (unsigned char& byte : chunk) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      byte = static_cast<unsigned char>(state);
    }
    uint64_t left = size - header.size();
    while (ok && left > 0) {
      const size_t count = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
      ok = write_all(fd, chunk.data(), count);
      left -= count;
    }
  }
  if (close(fd) != 0) {
    ok = false;
  }
  if (!ok) {
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], path, std::strerror(errno));
    return 1;
  }
  return 0;
}
