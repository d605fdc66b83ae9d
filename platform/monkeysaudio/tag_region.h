// Finding and reading the tag at the end of a file, from the file's last bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/monkeysaudio/ape_tag.h"

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
  // First byte of the APE tag (its header, or its first item). Without an APE tag: tail_start.
  uint64_t start = 0;
  // First byte after the APE footer (= tail_start); without an APE tag, equal to start.
  uint64_t tail_start = 0;
  TBytes tail;  // the file's bytes from tail_start to its end
  TTagTrust trust = TTagTrust::kTrusted;
  // The APE tag's items, or the ID3v1 tag's fields when there is no APE tag.
  std::vector<TApeItem> items;
  bool items_from_id3v1 = false;
};

struct TTagScan {
  // False when `window` was too short: call again with the last `needed` bytes of the file.
  bool complete = false;
  uint64_t needed = 0;
  TTagRegion region;
};

// Bytes a first read of the file's end should take. Most text tags fit; a larger one (cover art)
// costs a second read, which is cheaper than the fresh pages a larger window would touch at
// every open.
constexpr uint64_t kTagFirstWindow = 4 << 10;

// Reads the tag of a file of `file_size` bytes whose last window.size() bytes are `window`.
// Nothing before `floor` (the lowest offset at which the header and the seek table let the audio
// end) is ever part of the tag region. `audio_end` is the end of the audio the header declares
// (0 when it declares none); when the file holds it, nothing before it is a Lyrics3v2 block, an
// ID3v1 tag, or an APE tag known only by its footer: bytes "TAG" or "APETAGEX" inside audio are
// audio. An APE tag whose header block confirms its footer may start before it (from `floor`),
// since a tag saved after the last byte of a file whose audio was cut short ends up there. When
// the file does not hold the declared end (audio cut short) or there is none (the old layout),
// an APE tag known only by its footer is trusted as an extent only when every byte it claims
// parses as items: a footer claiming more than its tag holds would otherwise take audio with it.
// A lone header block where a footer belongs is the remnant of a tag and is trusted as one with
// no items. Never reads outside `window`; asks for a larger window (`needed`) as often as the
// structure requires, never for more than the file.
TTagScan scan_tag_region(TByteSpan window, uint64_t file_size, uint64_t floor,
                         uint64_t audio_end = 0);

// The same on a whole file image.
TTagRegion read_tag_region(TByteSpan image, uint64_t floor, uint64_t audio_end = 0);
