// Recognition of the Monkey's Audio header, from bytes only.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/monkeysaudio/core/byte_order.h"
#include "platform/monkeysaudio/core/limits.h"

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
  // frames), where the last frame starts as that entry says (0 when the file does not hold the
  // entry), and the WAV tail stored after the last frame.
  uint64_t last_seek_entry_at = 0;
  uint64_t last_frame_at = 0;
  uint32_t terminating_bytes = 0;
  // One past the last byte that refused an earlier "MAC " in the junk before this header: no tag
  // may start before it, or a save could turn that candidate into the file's header.
  uint64_t junk_reach = 0;
};

// Size of an ID3v2 tag at the start of `bytes` (header, body and footer), or 0 when the bytes do
// not start with a well-formed ID3v2 header. Never more than 10 + 2^28 + 10.
uint64_t id3v2_prefix_length(TByteSpan bytes);

// The header of a file of `file_size` bytes (at most its real size: the file is read as if it
// ended there), read through `reader`: after an ID3v2 tag, the first sane header within
// kApeJunkScanLimit bytes, with the old layout's last seek entry read when the file holds it.
// Audio that the header declares beyond the end of the file does not refuse it: the file was cut
// short, but its tag can still be read and repaired. A candidate that the end of the file cuts
// off ends the search without a header (a save could complete it). Costs one or two reads at
// the start of the file and one for the seek entry. Nothing when there is no header, or when
// the reader failed (then *read_failed).
std::optional<TApeHeader> read_ape_header(const TFileReader& reader, uint64_t file_size,
                                          bool* read_failed);

// The same on a whole file image.
std::optional<TApeHeader> recognise_ape_image(TByteSpan image);

// Where the audio of a file ends, as every reader and writer of its tag must take it.
struct TAudioEnd {
  // The lowest offset at which a tag may start: where the audio ends as far as the header and
  // the seek table prove it within the file (the declared end on a whole file of the descriptor
  // layout, the last frame's start plus the WAV tail in the old layout, else the start of the
  // frames, or the end of the header when the file ends before them), and never before the junk
  // that refused an earlier candidate header. Never past the file's end.
  uint64_t tag_floor = 0;
  // The file holds the end its header declares: a footer then proves its tag's extent alone.
  bool declared_end_held = false;
  // Where the frames start and where the audio ends (declared, or proved by the old layout's
  // seek table), each when the file ends before it (cut short), else 0. A tag saved after such
  // a file's end must not reach either point, or it would read as audio once the file holds it.
  uint64_t missing_frames_start = 0;
  uint64_t missing_audio_end = 0;
};

// Where the audio ends in a file of `file_size` bytes with this header (read for that size).
TAudioEnd audio_end_of(const TApeHeader& header, uint64_t file_size);
