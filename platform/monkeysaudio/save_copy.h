// The copy of a new tag block that a save appends before it overwrites the old tag, and how a
// reader finds the right tag again in a file a save left half-done.
//
// A save that cannot replace the tag with one write inside one page first appends the new block
// (tag plus tail) beyond both the old end and the new end of the file, followed by a 32-byte
// trailer: "QLTCOPY1", the offset the block belongs at, the block's length, and a CRC-32 of the
// block and those fields. Only once that copy is on disk is the old tag overwritten; the file is
// then cut at the new end. A file that ends in a trailer whose checksum holds therefore carries
// the new tag in the copy. A file whose end is neither a tag nor a sound trailer was cut off
// while appending: its old tag is still whole, somewhere before the debris.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/monkeysaudio/byte_order.h"
#include "platform/monkeysaudio/tag_region.h"

constexpr uint64_t kSaveTrailerBytes = 32;
constexpr uint64_t kPageBytes = 4096;
// Largest block a save writes: a tag of the largest size with header, a Lyrics3v2 block and an
// ID3v1 tag.
constexpr uint64_t kSaveMaxBlockBytes = (16 << 20) + 64 + 15 + 999999 + 128;
// How far before the end of a file a reader looks for the old tag behind the debris of an
// append: the copy (at most a block and its trailer) can sit beyond the end of the new block.
constexpr uint64_t kRecoveryReach = 2 * kSaveMaxBlockBytes + kSaveTrailerBytes + kPageBytes;

struct TSaveTrailer {
  uint64_t target = 0;  // where the block belongs: the start of the tag it replaces
  uint64_t length = 0;  // bytes of the block, which ends right before the trailer
  uint32_t checksum = 0;
};

uint32_t crc32(TByteSpan bytes, uint32_t crc = 0);

// The 32 trailer bytes for `block`, to be written right after it.
TBytes render_save_trailer(uint64_t target, TByteSpan block);

// The fields of `bytes` (the last 32 bytes of a file) when they are a trailer; the checksum is
// not checked here.
std::optional<TSaveTrailer> parse_save_trailer(TByteSpan bytes);

// True when `block` is whole: its checksum matches `trailer`.
bool save_copy_is_whole(const TSaveTrailer& trailer, TByteSpan block);

// Where a save puts the copy of a block of `block_size` bytes that replaces the file's bytes
// from `start` on, in a file of `file_size` bytes: past both ends, so that neither the old tag
// nor the later write of the block at `start` overlaps it, and so that the block's last byte and
// the trailer share one page: a power cut then never leaves the block's end without its trailer.
uint64_t save_copy_offset(uint64_t start, uint64_t block_size, uint64_t file_size);

// The tag of a file whose last `window.size()` bytes are `window` and whose end is no tag: the
// lowest complete, sound APE tag (with the Lyrics3v2 block and ID3v1 tag that follow it, when
// whole) at or after `floor` and `audio_end`, read as if the file ended after it. Nothing when
// there is none in the window.
std::optional<TTagRegion> find_tag_before_debris(TByteSpan window, uint64_t file_size,
                                                 uint64_t floor, uint64_t audio_end);
