// Recognition of the Monkey's Audio header, from bytes only.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/monkeysaudio/core/byte_order.h"

// What the header tells a tag reader: where the stream starts and where its audio ends.
struct TApeHeader {
  uint64_t magic_offset = 0;  // bytes before "MAC " (an ID3v2 tag or other junk)
  uint16_t version = 0;       // 3990 for 3.99
  bool descriptor_layout = false;
  uint16_t compression_level = 0;
  uint16_t channels = 0;
  uint32_t sample_rate = 0;
  uint16_t bits_per_sample = 0;
  uint32_t total_frames = 0;
  uint32_t blocks_per_frame = 0;
  uint32_t final_frame_blocks = 0;
  // First byte after the descriptor and header; no tag may start before it.
  uint64_t header_end = 0;
  // First byte of the frames: after the seek table and the stored WAV header. May lie past the
  // end of a file cut short.
  uint64_t frames_start = 0;
  // End of the audio the header declares (descriptor layout only; 0 when not stored).
  uint64_t declared_audio_end = 0;
  // Old layout: the file offset of the last frame's seek entry (0 when the header declares no
  // frames) and the WAV tail stored after the last frame.
  uint64_t last_seek_entry_at = 0;
  uint32_t terminating_bytes = 0;
  // Old layout: the last frame's start plus the WAV tail, once settle_audio_end has read a sane
  // last seek entry; 0 otherwise. May lie past the end of a file cut short.
  uint64_t seek_audio_end = 0;
  // The lowest offset at which the audio can end, as far as the header and the seek table prove
  // it within this file: the declared end on a whole file of the descriptor layout, the start of
  // the last frame plus the WAV tail in the old layout, else the start of the frames (or of
  // whatever part of them the file holds). Never past the file's end.
  uint64_t proven_audio_end = 0;
  // One past the last byte that refused an earlier "MAC " in the junk before this header: no tag
  // may start before it, or a save could turn that candidate into the file's header.
  uint64_t junk_reach = 0;
};

// Size of an ID3v2 tag at the start of `bytes` (header, body and footer), or 0 when the bytes do
// not start with a well-formed ID3v2 header. Never more than 10 + 2^28 + 10.
uint64_t id3v2_prefix_length(TByteSpan bytes);

// Parses a header whose magic is at bytes[0] and which sits at `magic_offset` in a file of
// `file_size` bytes. Returns nothing when the magic is absent, the header is cut off by the end
// of `bytes` or of the file, or a field fails a sanity check. Audio that the header declares
// beyond the end of the file does not count as a failure: the file was cut short, but its tag
// can still be read and repaired.
std::optional<TApeHeader> parse_ape_header(TByteSpan bytes, uint64_t magic_offset,
                                           uint64_t file_size);

// Settles proven_audio_end of an old-layout header from the value of its last seek entry (an
// offset from the magic). An entry that points into the header or past the file's end proves
// nothing beyond the start of the frames.
void settle_audio_end(TApeHeader& header, uint32_t last_seek_entry, uint64_t file_size);

// The first sane header at or after window[0], which lies at `window_offset` in the file; none
// when a candidate before it is cut off by the end of the file (the file's header, cut off).
std::optional<TApeHeader> find_ape_header(TByteSpan window, uint64_t window_offset,
                                          uint64_t file_size);

// How far past the ID3v2 tag a header is looked for, and how many bytes a reader must hand to
// find_ape_header to cover that distance.
constexpr uint64_t kApeJunkScanLimit = 1 << 20;
constexpr uint64_t kApeHeaderMaxBytes = 4096 + 4096;  // descriptor and header, each capped
constexpr uint64_t kApeHeaderWindow = kApeJunkScanLimit + kApeHeaderMaxBytes;

// Recognition on a whole file image: skips an ID3v2 tag, then scans for the header, and settles
// the audio end from the seek table.
std::optional<TApeHeader> recognise_ape_image(TByteSpan image);
