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
  bool ape_read_only = false;  // the APEv2 tag's own read-only flag, which a rewrite keeps
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
// No part of the tag may lie before `floor` (the end of the audio, or of the header when the
// audio end is unknown): a tag that claims to reach there is untrusted, as is a Lyrics3v2 or
// ID3v1 block that would. An APE tag that starts before `audio_end` (the end of the audio the
// header declares, 0 when unknown) is trusted only when its header block confirms its footer:
// a file whose audio was cut short ends below that point, and a tag written after its last
// byte must still read back, while a footer alone claiming bytes of whole audio must not.
// Never reads outside `window`.
TTagScan scan_tag_region(TByteSpan window, uint64_t file_size, uint64_t floor,
                         uint64_t audio_end = 0);

// The same on a whole file image.
TTagRegion read_tag_region(TByteSpan image, uint64_t floor, uint64_t audio_end = 0);
