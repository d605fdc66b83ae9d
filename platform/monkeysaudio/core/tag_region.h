// Finding and reading the tag at the end of a file, from the file's last bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/monkeysaudio/core/ape_tag.h"

enum class TTagTrust {
  kTrusted,        // the tag (or its absence) is certain; rewriting it loses nothing
  kItemsDamaged,   // the tag's extent is certain, but not every item could be read
  kExtentDamaged,  // a footer is there but where the tag starts is unknown
};

// The tag of a file: an APE tag, then optionally a Lyrics3v2 block and an ID3v1 tag (the tail).
struct TTagRegion {
  bool has_ape = false;
  bool has_id3v1 = false;
  bool has_lyrics3 = false;
  uint32_t ape_version = 0;
  bool ape_read_only = false;  // the APEv2 tag's own read-only flag, which a rewrite keeps
  // First byte of the APE tag (its header, or its first item). Without an APE tag: tail_start.
  uint64_t start = 0;
  // First byte after the APE footer (= tail_start); without an APE tag, equal to start.
  uint64_t tail_start = 0;
  TBytes tail;  // the file's bytes from tail_start to its end
  TTagTrust trust = TTagTrust::kTrusted;
  // Where the frames start and where the declared audio ends, each when the file ends before
  // it (cut short), else 0. A tag saved after such a file's end must not reach either point, or
  // it would read as audio once the file holds it.
  uint64_t missing_frames_start = 0;
  uint64_t missing_audio_end = 0;
  // The APE tag's items, or the ID3v1 tag's fields when there is no APE tag.
  std::vector<TApeItem> items;
  bool items_from_id3v1 = false;
};

struct TTagScan {
  // False when `window` was too short: call again with the last `needed` bytes of the file.
  bool complete = false;
  uint64_t needed = 0;
  // The reader given to the scan failed; the region is not to be used.
  bool read_failed = false;
  TTagRegion region;
};

// Bytes read at a time by a scan with a reader that walks an APE tag's items: the text items of
// a tag and the header of its cover in one read.
constexpr uint64_t kItemsChunkBytes = 64 << 10;

// The file, for a scan that may read more than its window.
struct TFileReader {
  // Fills `out` (resized to `size`) with the file's bytes from `offset`; false when it cannot.
  std::function<bool(uint64_t offset, uint64_t size, TBytes* out)> read;
  uint64_t chunk_bytes = kItemsChunkBytes;
};

// Bytes a first read of the file's end should take. Most text tags fit; a larger one (cover art)
// costs a second read, which is cheaper than the fresh pages a larger window would touch at
// every open.
constexpr uint64_t kTagFirstWindow = 4 << 10;

// The largest tag region read or written: an APE tag with the largest items area, its header and
// footer, a Lyrics3v2 block and an ID3v1 tag. The one limit of tag size: the reader trusts no
// larger tag, the writer makes none, and a save's journal holds one.
constexpr uint64_t kTagRegionMaxBytes = kApeTagMaxItemBytes + 64 + (11 + 999999 + 15) + 128;

// Reads the tag of a file of `file_size` bytes whose last window.size() bytes are `window`.
// Nothing before `floor` (the lowest offset at which the header and the seek table let the audio
// end) is ever part of the tag region, and nothing before `audio_end` (the end of the audio the
// header declares, 0 when it declares none) when the file holds that end: bytes "TAG",
// "LYRICS200" or "APETAGEX" inside audio are audio. When the file ends before the declared end
// (audio cut short) or there is none (the old layout), an APE tag known only by its footer is
// trusted as an extent only when every byte it claims parses as items: a footer claiming more
// than its tag holds would otherwise take audio with it. The 32 bytes before a tag's items
// belong to it when they start like a header, whatever the footer says; a lone header where a
// footer belongs is the remnant of a tag, trusted as one with no items. Never reads outside
// `window`; asks for a larger window (`needed`) as often as the structure requires, never for
// more than the file. `frames_start` (0 when unknown) only fills in missing_frames_start.
// With a `reader`, an APE tag the window does not hold is read through it instead: its header,
// then its items walked by their lengths a chunk at a time, binary values outside the chunk at
// hand skipped (left unread, value_at a file offset). Every item header and key is still read,
// so the lengths are proved to chain from the first item exactly to the footer, and the region
// (trust included) is the one a whole window gives, but for the values left unread.
TTagScan scan_tag_region(TByteSpan window, uint64_t file_size, uint64_t floor,
                         uint64_t audio_end = 0, uint64_t frames_start = 0,
                         const TFileReader* reader = nullptr);

// The same on a whole file image.
TTagRegion read_tag_region(TByteSpan image, uint64_t floor, uint64_t audio_end = 0,
                           uint64_t frames_start = 0);
