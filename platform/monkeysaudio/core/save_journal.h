// The rollback journal of a save: a record, kept beside the audio file while a save that cannot be
// done in one page rewrites the tag, from which the next run undoes a save that was cut off.
//
// Where: in the audio file's folder, named "." + the file's name + ".quillet-journal" (for
// "Music/Song.ape": "Music/.Song.ape.quillet-journal"). It exists only while such a save runs, or
// after a save was cut off (a kill, a power cut) until the next run that may write the file.
//
// A save, under the exclusive flock of the audio file:
//   - The bytes that change lie in one 4 KiB page and the file keeps its length or grows inside
//     that page: one pwrite, one fdatasync, no journal. This relies on the disk writing one
//     aligned 4 KiB page whole or not at all.
//   - Removing the tag (a cut, nothing written): one ftruncate, one fdatasync, no journal.
//   - Anything else: (1) create the journal (O_CREAT | O_EXCL), write the record below, fsync
//     it, fsync the folder; (2) write the new block at `target`, ftruncate to the new size,
//     fdatasync the audio file; (3) unlink the journal (the folder is not synced after: a record
//     that outlives a power cut is found finished by the next run). When the folder cannot be
//     written, such a save is refused and the file is left as it was.
//
// The record, all numbers little-endian:
//   0   8  magic "QLTJRNL\n"
//   8   4  version (1)
//   12  4  header bytes (kJournalHeaderBytes)
//   16  8  st_dev of the audio file
//   24  8  st_ino of the audio file
//   32  8  anchor: offset of the Monkey's Audio header ("MAC "), kJournalNoAnchor when the file
//          was saved without one; every offset below counts from the anchor (from 0 without one)
//   40  8  target: where the old region and the new block start
//   48  8  old size of the file
//   56  8  new size of the file
//   64  4  length of the "before" span: the bytes right before target, at most 64 KiB, never
//          before the anchor
//   68  4  CRC-32 of the "before" span
//   72  4  length of the "head" span: the bytes from the anchor on, at most 64 KiB, never reaching
//          target
//   76  4  CRC-32 of the "head" span
//   80  4  CRC-32 of the new block [target, new size)
//   84  4  CRC-32 of the old region [target, old size), which is the payload
//   88  4  reserved, 0
//   92  4  CRC-32 of bytes 0..91
//   96     payload: the old bytes [target, old size); the record ends right after it.
//
// Recovery, at every open by a process that may write the audio file, under its exclusive lock:
// one openat of the journal's name; nothing more when there is none. A record is applied only
// when everything holds: magic, version, header checksum, length, payload checksum, device and
// inode, the anchor found where the file's header is now (another program may have added or
// resized an ID3v2 tag in front: every offset moves by that difference), the "before" and
// "head" spans unchanged, and the file's size between the old and the new size. Then:
//   - the file holds the new block with the new size: the save finished;
//   - the file holds the old region with the old size: the file was not touched;
//   - otherwise the old region is written back at target, the file cut to the old size and
//     fdatasync'd, never below the end of the audio as the file's header shows it now.
// The record is then unlinked. A record that fails any check is never applied; it is unlinked
// too, the file read as it is: it cannot become valid again, and kept it would refuse every
// later save of the file. Recovery does nothing but unlink and rewrite what the record proves,
// so a recovery cut off is finished by the next run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/monkeysaudio/core/byte_order.h"
#include "platform/monkeysaudio/core/limits.h"

constexpr uint64_t kJournalNoAnchor = ~uint64_t{0};

struct TJournalRecord {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t anchor = kJournalNoAnchor;
  uint64_t target = 0;
  uint64_t old_size = 0;
  uint64_t new_size = 0;
  uint32_t before_bytes = 0;
  uint32_t before_crc = 0;
  uint32_t head_bytes = 0;
  uint32_t head_crc = 0;
  uint32_t new_crc = 0;
  uint32_t old_crc = 0;

  bool operator==(const TJournalRecord&) const = default;
};

uint32_t crc32(TByteSpan bytes, uint32_t crc = 0);

// The journal's name for the audio file at `path`: same folder, hidden.
std::string journal_path(const std::string& path);

// The header of a record.
TBytes render_journal_header(const TJournalRecord& record);

// The record in `header` (kJournalHeaderBytes bytes) when its magic, version and checksum hold
// and its numbers are coherent (target within both sizes, the old region no larger than a tag
// region, spans within their limits); nothing otherwise.
std::optional<TJournalRecord> parse_journal_header(TByteSpan header);
