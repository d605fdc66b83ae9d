// Recognition and tag reading on a whole file image: the library's first contact with any file a
// user names, so every byte of it is hostile.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/monkeysaudio/ape_header.h"
#include "platform/monkeysaudio/save_plan.h"
#include "platform/monkeysaudio/tag_fields.h"
#include "platform/monkeysaudio/tag_region.h"

namespace {

// Says which promise broke before stopping, so a found input explains itself.
[[noreturn]] void fail(const char* why) {
  std::fprintf(stderr, "broken: %s\n", why);
  __builtin_trap();
}

const char* const kFields[] = {"Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"};

void fetch_all(const TTagFields& fields) {
  for (int room : {1, 2, 7, 2048}) {
    for (const char* name : kFields) {
      auto buffer = std::make_unique<char[]>(room);
      std::memset(buffer.get(), 'x', room);
      int size = room;
      fields.Fetch(name, buffer.get(), &size);
      if (std::memchr(buffer.get(), '\0', room) == nullptr || size < 0 || size >= room) {
        fail("callers rely on a terminated text within the room");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TByteSpan image(data, size);
  uint64_t floor = 0;
  uint64_t audio_end = 0;
  if (auto header = recognise_ape_image(image)) {
    floor = tag_floor(*header);
    audio_end = tag_audio_end(*header);
    if (floor > size) {
      fail("invariant broken");
    }
  }
  const TTagRegion region = read_tag_region(image, floor, audio_end);
  if (region.start > region.tail_start || region.tail_start > size ||
      region.tail.size() != size - region.tail_start) {
    fail("invariant broken");
  }
  fetch_all(TTagFields(region.items));

  // The file layer reads the end of a file through a window first; it must agree with the whole.
  const uint64_t window = size < kTagFirstWindow ? size : kTagFirstWindow;
  const TTagScan scan = scan_tag_region(image.subspan(size - window), size, floor, audio_end);
  if (scan.complete && (scan.region.start != region.start || scan.region.items != region.items)) {
    fail("invariant broken");
  }
  return 0;
}
