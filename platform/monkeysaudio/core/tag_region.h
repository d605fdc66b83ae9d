// Finding and reading the tag at the end of a file, from the file's last bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/monkeysaudio/core/ape_header.h"
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
  // As TAudioEnd has them: a save must not reach either point.
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

// Reads the tag of a file of `file_size` bytes whose last window.size() bytes are `window`.
// Nothing before audio_end.tag_floor is ever part of the tag region: bytes "TAG", "LYRICS200" or
// "APETAGEX" inside audio are audio. Unless the file holds the end its header declares, an APE
// tag known only by its footer is trusted as an extent only when every byte it claims parses as
// items: a footer claiming more than its tag holds would otherwise take audio with it. The 32 bytes
// before a tag's items belong to it when they start like a header, whatever the footer says; a lone
// header where a footer belongs is the remnant of a tag, trusted as one with no items. Never reads
// outside `window`; asks for a larger window (`needed`) as often as the structure requires, never
// for more than the file. With a `reader`, an APE tag the window does not hold is read through it
// instead: its header, then its items walked by their lengths a chunk at a time, binary values
// outside the chunk at hand skipped (left unread, value_at a file offset). Every item header and
// key is still read, so the lengths are proved to chain from the first item exactly to the footer,
// and the region (trust included) is the one a whole window gives, but for the values left unread.
TTagScan scan_tag_region(TByteSpan window, uint64_t file_size, const TAudioEnd& audio_end,
                         const TFileReader* reader = nullptr);

// The same on a whole file image, in one scan.
TTagRegion read_tag_region(TByteSpan image, const TAudioEnd& audio_end = {});

// The tag of a file of `file_size` bytes as the library reads every file: its last
// kFirstReadBytes, then as much more of its end as the scan asks for, an APE tag that lies
// before that walked through `reader` (binary values left unread). With the file's `header`,
// nothing before the audio's end is tag, and an ID3v1 tag that ends the stored WAV is audio
// (see keep_id3v1_of_wav_tail). Costs a few reads whatever the sizes of the file and its tag.
// Returns false when the reader failed, `region` then unusable.
bool read_file_tag(const TFileReader& reader, uint64_t file_size, const TApeHeader* header,
                   TTagRegion* region);

// An old-layout file stores the source WAV's trailing bytes after its last frame, and a WAV that
// carried an ID3v1 tag keeps it there, as the file's last 128 bytes: audio, which a reader that
// cuts it leaves undecodable. Where the stored tail can hold one (128 bytes or more) and no APE
// tag or Lyrics3v2 block comes before it, an ID3v1 tag at the end of an old-layout file is taken
// as that audio: `region` then holds no tag, and a save puts its tag after it.
void keep_id3v1_of_wav_tail(const TApeHeader& header, TTagRegion& region);
