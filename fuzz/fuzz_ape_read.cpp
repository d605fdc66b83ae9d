// Recognition and tag reading on a whole file image: the library's first contact with any file a
// user names, so every byte of it is hostile.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "fuzz/audio_end_oracle.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/save_journal.h"
#include "platform/monkeysaudio/core/save_plan.h"
#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/core/tag_region.h"

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
  uint64_t frames_start = 0;
  uint64_t oracle_end = 0;
  if (auto header = recognise_ape_image(image)) {
    oracle_end = header->magic_offset == 0 ? oracle::audio_end(data, size) : 0;
    floor = tag_floor(*header);
    audio_end = tag_audio_end(*header);
    frames_start = header->frames_start;
    if (floor > size) {
      fail("invariant broken");
    }
  }
  const TTagRegion region = read_tag_region(image, floor, audio_end, frames_start);
  if (region.start > region.tail_start || region.tail_start > size ||
      region.tail.size() != size - region.tail_start) {
    fail("invariant broken");
  }
  fetch_all(TTagFields(region.items));

  if (region.trust != TTagTrust::kExtentDamaged && region.start < size &&
      region.start < oracle_end) {
    fail("a tag or a tail located inside the audio");
  }

  // The file layer reads the end of a file through a window, as many times as the scan asks for
  // more; it must agree with the whole. A small first window makes every structure take rounds.
  // With a reader, as the file layer scans, a tag the window lacks is walked through it instead,
  // binary values left unread: once those are taken from the image, the same region.
  // Chunks of a few bytes make small inputs skip values as a cover makes a file skip them.
  TFileReader reader = {[image](uint64_t offset, uint64_t bytes, TBytes* out) {
    if (offset > image.size() || image.size() - offset < bytes) {
      fail("a walk reads outside the file");
    }
    out->assign(image.begin() + offset, image.begin() + offset + bytes);
    return true;
  }};
  reader.chunk_bytes = 1 + size % 61;
  for (const TFileReader* through :
       {static_cast<const TFileReader*>(nullptr), &std::as_const(reader)}) {
    for (uint64_t first : {uint64_t{64}, kTagFirstWindow}) {
      uint64_t window = std::min<uint64_t>(size, first);
      for (;;) {
        TTagScan scan = scan_tag_region(image.subspan(size - window), size, floor, audio_end,
                                        frames_start, through);
        if (scan.complete) {
          for (TApeItem& item : scan.region.items) {
            if (!item.IsUnread()) {
              continue;
            }
            if (item.IsText() || item.IsKept() || item.value_at < scan.region.start ||
                item.value_at > size || size - item.value_at < item.unread_bytes) {
              fail("an unread value that a listing needs, or that lies outside the tag");
            }
            const auto* value = reinterpret_cast<const char*>(data + item.value_at);
            item.value.assign(value, item.unread_bytes);
            item.unread_bytes = 0;
            item.value_at = 0;
          }
          if (scan.region.start != region.start || scan.region.items != region.items ||
              scan.region.trust != region.trust || scan.region.tail != region.tail) {
            fail("a windowed read disagrees with the whole image");
          }
          break;
        }
        if (scan.read_failed || scan.needed <= window || scan.needed > size) {
          fail("a read round asks for no more than it had, or for more than the file");
        }
        window = scan.needed;
      }
    }
  }

  // A save's journal is as hostile as the file: its first bytes read as a record header only
  // when they are exactly what rendering that record gives, and its numbers stay coherent.
  if (size >= kJournalHeaderBytes) {
    const TByteSpan header = image.first(kJournalHeaderBytes);
    if (const auto record = parse_journal_header(header)) {
      const TBytes again = render_journal_header(*record);
      if (!std::equal(again.begin(), again.end(), header.begin()) ||
          record->target > record->old_size || record->target > record->new_size ||
          record->old_size - record->target > kTagRegionMaxBytes) {
        fail("a journal header parses as something else than it says");
      }
    }
  }
  return 0;
}
