// Cost of opening a Monkey's Audio file and reading its tag, and of saving the tag, for a small
// and a 1 GiB file (sparse): both should cost the same, since only the tag region is touched.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/file/file_io.h"
#include "platform/monkeysaudio/file/tag_file.h"
#include "tests/monkeysaudio/io_counting.h"

namespace {

// A 3.99 header whose declared audio fills the file up to `size` bytes.
TBytes header_for(uint64_t size) {
  const uint64_t frames = size - 52 - 24 - 12 - 44;
  TBytes out = {'M', 'A', 'C', ' ', 0x96, 0x0F, 0, 0};
  for (uint64_t value :
       std::initializer_list<uint64_t>{52, 24, 12, 44, frames & 0xFFFFFFFF, frames >> 32, 0}) {
    append_u32le(out, static_cast<uint32_t>(value));
  }
  out.resize(52, 0);
  out.insert(out.end(), {0xD0, 0x07, 0, 0});
  for (uint32_t value : {73728u, 15040u, 3u}) {
    append_u32le(out, value);
  }
  out.insert(out.end(), {16, 0, 2, 0});
  append_u32le(out, 44100);
  return out;
}

bool make_file(const std::string& path, uint64_t size) {
  const TFileDescriptor file(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  return file.IsOpen() && file.Truncate(size) == 0 && file.WriteAt(0, header_for(size)) == 0;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void measure(const std::string& path, uint64_t size, int rounds) {
  if (!make_file(path, size)) {
    std::printf("cannot create %s\n", path.c_str());
    return;
  }
  const std::vector<TApeItem> tags[2] = {
      {{"Title", 0, "A title"}, {"Artist", 0, "Someone"}, {"Comment", 0, std::string(300, 'c')}},
      {{"Title", 0, "Another, longer title"}, {"Artist", 0, "Someone else"}}};
  (void)save_tag_file(path.c_str(), true, tags[0], false);

  io_counters() = {};
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    TTagFileView view;
    if (load_tag_file(path.c_str(), true, &view) != kApeSuccess) {
      std::printf("read failed\n");
      return;
    }
  }
  const double read_time = seconds_since(start) / rounds;
  const TIoCounters reads = io_counters();

  io_counters() = {};
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    if (save_tag_file(path.c_str(), true, tags[(i + 1) % 2], false) != kApeSuccess) {
      std::printf("save failed\n");
      return;
    }
  }
  const double save_time = seconds_since(start) / rounds;
  const TIoCounters saves = io_counters();

  TFileDescriptor file;
  file.OpenRegular(path.c_str(), O_RDWR);
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    file.SyncData();
  }
  const double sync_time = seconds_since(start) / rounds;

  std::printf(
      "%-10s open+read %8.1f us, %6.0f bytes in %4.1f reads | save %8.1f us (fdatasync alone "
      "%6.1f us), %6.0f bytes read, %6.0f bytes written in %4.1f writes\n",
      size < (1 << 20) ? "100 KB" : "1 GiB", read_time * 1e6,
      static_cast<double>(reads.bytes_read) / rounds,
      static_cast<double>(reads.read_calls) / rounds, save_time * 1e6, sync_time * 1e6,
      static_cast<double>(saves.bytes_read) / rounds,
      static_cast<double>(saves.bytes_written) / rounds,
      static_cast<double>(saves.write_calls) / rounds);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
  const char* base = getenv("TMPDIR");
  std::string folder = std::string(base != nullptr ? base : "/tmp") + "/ape-bench-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  measure(folder + "/small.ape", 100 << 10, rounds);
  measure(folder + "/large.ape", 1ull << 30, rounds);
  std::filesystem::remove_all(folder);
  return 0;
}
