// Recognition and tag reading of a file, through the functions the library's entry points call:
// the library's first contact with any file a user names, so every byte of it is hostile. The
// file's bytes are then read in every other way the byte core allows, which must agree.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "fuzz/audio_end_oracle.h"
#include "fuzz/fuzz_file.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/save_journal.h"
#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/core/tag_region.h"
#include "platform/monkeysaudio/file/tag_file.h"

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

// `items` with the values a read left in the file taken from `data`.
void fill_unread(std::vector<TApeItem>& items, const uint8_t* data, size_t size,
                 uint64_t region_start) {
  for (TApeItem& item : items) {
    if (!item.IsUnread()) {
      continue;
    }
    if (item.IsText() || item.IsKept() || item.value_at < region_start || item.value_at > size ||
        size - item.value_at < item.unread_bytes) {
      fail("an unread value that a listing needs, or that lies outside the tag");
    }
    item.value.assign(reinterpret_cast<const char*>(data + item.value_at), item.unread_bytes);
    item.unread_bytes = 0;
    item.value_at = 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TByteSpan image(data, size);
  const TFuzzFile& file = TFuzzFile::Get();
  file.Write(image);
  // As the entry points open a file: with its header, else (a tag object on any file) without.
  TTagFileView view;
  int status = load_tag_file(file.Path(), true, &view);
  if (status == kApeErrorInvalidFormat) {
    status = load_tag_file(file.Path(), false, &view);
  }
  if (status != kApeSuccess) {
    fail("a file in memory could not be read");
  }
  TTagRegion& region = view.region;
  const std::optional<TApeHeader>& header = view.header;
  const TAudioEnd audio_end = header ? audio_end_of(*header, size) : TAudioEnd{};
  if (view.file_size != size || audio_end.tag_floor > size || region.start > region.tail_start ||
      region.tail_start > size || region.tail.size() != size - region.tail_start) {
    fail("invariant broken");
  }
  TTagFields fields(region.items);
  fields.DropBinaryValues();
  fetch_all(fields);

  const uint64_t oracle_end =
      header && header->magic_offset == 0 ? oracle::audio_end(data, size) : 0;
  if (region.trust != TTagTrust::kExtentDamaged && region.start < size &&
      region.start < oracle_end) {
    fail("a tag or a tail located inside the audio");
  }

  // The file layer read the file's end through a window and walked a tag it lacked, leaving
  // binary values unread: once those are taken from the file, the region a whole image gives.
  fill_unread(region.items, data, size, region.start);
  TTagRegion whole = read_tag_region(image, audio_end);
  if (header) {
    keep_id3v1_of_wav_tail(*header, whole);
  }
  if (whole.start != region.start || whole.items != region.items || whole.trust != region.trust ||
      whole.tail != region.tail) {
    fail("the file layer's read disagrees with the whole image");
  }

  // The same scan with a small first window makes every structure take rounds, and chunks of a
  // few bytes make small inputs skip values as a cover makes a file skip them.
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
    uint64_t window = std::min<uint64_t>(size, 64);
    for (;;) {
      TTagScan scan = scan_tag_region(image.subspan(size - window), size, audio_end, through);
      if (scan.complete) {
        fill_unread(scan.region.items, data, size, scan.region.start);
        if (header) {
          keep_id3v1_of_wav_tail(*header, scan.region);
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

  // A save's journal is as hostile as the file: its first bytes read as a record header only
  // when they are exactly what rendering that record gives, and its numbers stay coherent.
  if (size >= kJournalHeaderBytes) {
    const TByteSpan record_bytes = image.first(kJournalHeaderBytes);
    if (const auto record = parse_journal_header(record_bytes)) {
      const TBytes again = render_journal_header(*record);
      if (!std::equal(again.begin(), again.end(), record_bytes.begin()) ||
          record->target > record->old_size || record->target > record->new_size ||
          record->old_size - record->target > kTagRegionMaxBytes) {
        fail("a journal header parses as something else than it says");
      }
    }
  }
  return 0;
}
