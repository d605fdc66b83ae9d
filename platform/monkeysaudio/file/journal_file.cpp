#include "platform/monkeysaudio/file/journal_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/save_journal.h"

namespace {

int open_retrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int sync_folder(const std::string& path) {
  TFileDescriptor folder(open_retrying(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (!folder.IsOpen()) {
    return errno;
  }
  return folder.Sync();
}

// CRC-32 of `file`'s bytes [offset, offset + size); false when they cannot all be read.
bool checksum_range(const TFileDescriptor& file, uint64_t offset, uint64_t size, uint32_t* crc) {
  TBytes chunk;
  *crc = 0;
  for (uint64_t done = 0; done < size;) {
    const uint64_t take = std::min(kCopyChunkBytes, size - done);
    if (file.ReadAt(offset + done, take, &chunk) != 0) {
      return false;
    }
    *crc = crc32(chunk, *crc);
    done += take;
  }
  return true;
}

// Copies `size` bytes of `from` at `from_offset` to `to` at `to_offset`; the CRC-32 of what was
// copied goes to `crc`. Returns kApeSuccess, kApeErrorReadFile or kApeErrorWriteFile.
int copy_range(const TFileDescriptor& from, uint64_t from_offset, const TFileDescriptor& to,
               uint64_t to_offset, uint64_t size, uint32_t* crc) {
  TBytes chunk;
  *crc = 0;
  for (uint64_t done = 0; done < size;) {
    const uint64_t take = std::min(kCopyChunkBytes, size - done);
    if (from.ReadAt(from_offset + done, take, &chunk) != 0) {
      return kApeErrorReadFile;
    }
    *crc = crc32(chunk, *crc);
    if (to.WriteAt(to_offset + done, chunk) != 0) {
      return kApeErrorWriteFile;
    }
    done += take;
  }
  return kApeSuccess;
}

enum class TVerdict { kNotOurs, kDone, kRestore, kUnreadable };

// Where offsets of a record count from in `file` as it is now: the offset of its header, or 0
// for a file saved without one; and the lowest offset a restore may write at once the file is
// `size` bytes long: the end of the audio as its header shows it, as the tag reader places it.
// kNotOurs when the record needs a header the file no longer has.
TVerdict place_record(const TFileDescriptor& file, uint64_t size, const TJournalRecord& record,
                      uint64_t* base, uint64_t* floor) {
  bool read_failed = false;
  const auto header = read_ape_header(file.Reader(), size, &read_failed);
  if (read_failed) {
    return TVerdict::kUnreadable;
  }
  *base = 0;
  *floor = 0;
  if (header) {
    *floor = audio_end_of(*header, size).tag_floor;
    if (record.anchor != kJournalNoAnchor) {
      *base = header->magic_offset;
    }
  } else if (record.anchor != kJournalNoAnchor) {
    return TVerdict::kNotOurs;
  }
  return TVerdict::kRestore;
}

// What `record` (whose payload's checksum holds) proves for `file` of `size` bytes; `target` and
// `old_size` are set to the record's offsets in the file as it is now.
TVerdict judge_record(const TFileDescriptor& file, uint64_t size, const TJournalRecord& record,
                      uint64_t* target, uint64_t* old_size) {
  dev_t device;
  ino_t inode;
  if (file.Identity(&device, &inode) != 0) {
    return TVerdict::kUnreadable;
  }
  if (device != record.device || inode != record.inode) {
    return TVerdict::kNotOurs;
  }
  uint64_t base = 0;
  uint64_t floor = 0;
  if (TVerdict placed = place_record(file, size, record, &base, &floor);
      placed != TVerdict::kRestore) {
    return placed;
  }
  if (base > size || size - base < record.target) {
    return TVerdict::kNotOurs;
  }
  const uint64_t at = base + record.target;
  const uint64_t old_end = base + record.old_size;
  const uint64_t new_end = base + record.new_size;
  if (size < std::min(old_end, new_end) || size > std::max(old_end, new_end)) {
    return TVerdict::kNotOurs;
  }
  uint32_t before = 0;
  uint32_t head = 0;
  if (!checksum_range(file, at - record.before_bytes, record.before_bytes, &before) ||
      !checksum_range(file, base, record.head_bytes, &head)) {
    return TVerdict::kUnreadable;
  }
  if (before != record.before_crc || head != record.head_crc) {
    return TVerdict::kNotOurs;
  }
  *target = at;
  *old_size = old_end;
  for (const auto& [end, expected] :
       {std::pair{new_end, record.new_crc}, {old_end, record.old_crc}}) {
    uint32_t crc = 0;
    if (size != end) {
      continue;
    }
    if (!checksum_range(file, at, end - at, &crc)) {
      return TVerdict::kUnreadable;
    }
    if (crc == expected) {
      return TVerdict::kDone;
    }
  }
  // The floor of the file as the restore leaves it: a file cut short whose save completed its
  // audio with zeros must not seem to have its audio end past the restored tag.
  if (old_end > at && size > old_end &&
      place_record(file, old_end, record, &base, &floor) != TVerdict::kRestore) {
    return TVerdict::kUnreadable;
  }
  if (old_end > at && at < floor) {
    return TVerdict::kNotOurs;
  }
  return TVerdict::kRestore;
}

int remove_journal(const std::string& journal) {
  return unlink(journal.c_str()) == 0 || errno == ENOENT ? kApeSuccess : kApeErrorWriteFile;
}

}  // namespace

bool journal_exists(const std::string& path) {
  TFileDescriptor journal(open_retrying(journal_path(path).c_str(), O_RDONLY | O_NOFOLLOW));
  return journal.IsOpen() || errno != ENOENT;
}

int recover_interrupted_save(const std::string& path, const TFileDescriptor& file) {
  const std::string name = journal_path(path);
  TFileDescriptor journal(open_retrying(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
  if (!journal.IsOpen()) {
    // None, or one this user may not read: the file is read as it is.
    return kApeSuccess;
  }
  struct stat journal_info;
  if (fstat(journal.Get(), &journal_info) != 0 || !S_ISREG(journal_info.st_mode)) {
    // Something else holds the name: no record of ours, and not ours to remove. Only the saves
    // that need a journal are refused, when they cannot create it.
    return kApeSuccess;
  }
  const uint64_t journal_size = static_cast<uint64_t>(journal_info.st_size);
  uint64_t size = 0;
  TBytes header;
  if (file.Size(&size) != 0) {
    return kApeErrorReadFile;
  }
  std::optional<TJournalRecord> record;
  if (journal_size >= kJournalHeaderBytes && journal.ReadAt(0, kJournalHeaderBytes, &header) == 0) {
    record = parse_journal_header(header);
  }
  uint32_t payload_crc = 0;
  if (!record || journal_size - kJournalHeaderBytes != record->old_size - record->target ||
      !checksum_range(journal, kJournalHeaderBytes, journal_size - kJournalHeaderBytes,
                      &payload_crc) ||
      payload_crc != record->old_crc) {
    // Never finished being written: the file was not touched after it.
    return remove_journal(name);
  }
  uint64_t target = 0;
  uint64_t old_size = 0;
  const TVerdict verdict = judge_record(file, size, *record, &target, &old_size);
  if (verdict == TVerdict::kUnreadable) {
    return kApeErrorReadFile;
  }
  if (verdict == TVerdict::kRestore) {
    uint32_t crc = 0;
    if (int status =
            copy_range(journal, kJournalHeaderBytes, file, target, old_size - target, &crc);
        status != kApeSuccess) {
      return status;
    }
    if (file.Truncate(old_size) != 0 || file.SyncData() != 0) {
      return kApeErrorWriteFile;
    }
  }
  return remove_journal(name);
}

int begin_journal(const std::string& path, const TFileDescriptor& file, const TSavePlan& plan) {
  // A record recovery would refuse is never written: such a save is refused instead.
  if (plan.old_size - plan.start > kTagRegionMaxBytes || plan.block.size() > kSaveMaxBlockBytes) {
    return kApeErrorWriteFile;
  }
  struct stat info;
  if (fstat(file.Get(), &info) != 0) {
    return kApeErrorReadFile;
  }
  TJournalRecord record;
  record.device = static_cast<uint64_t>(info.st_dev);
  record.inode = static_cast<uint64_t>(info.st_ino);
  bool read_failed = false;
  const auto header = read_ape_header(file.Reader(), plan.old_size, &read_failed);
  uint64_t base = 0;
  if (header && header->magic_offset <= plan.start) {
    record.anchor = base = header->magic_offset;
  }
  record.target = plan.start - base;
  record.old_size = plan.old_size - base;
  record.new_size = plan.start + plan.block.size() - base;
  record.before_bytes = static_cast<uint32_t>(std::min(kJournalSpanBytes, record.target));
  record.head_bytes = record.before_bytes;
  record.new_crc = crc32(plan.block);
  if (!checksum_range(file, plan.start - record.before_bytes, record.before_bytes,
                      &record.before_crc) ||
      !checksum_range(file, base, record.head_bytes, &record.head_crc)) {
    return kApeErrorReadFile;
  }
  // O_EXCL: a journal that recovery could not remove refuses the save.
  const std::string name = journal_path(path);
  TFileDescriptor journal(
      open_retrying(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, info.st_mode & 0666));
  if (!journal.IsOpen()) {
    return kApeErrorWriteFile;
  }
  // The payload first and the header last: a record cut off anywhere fails its checks.
  int status = copy_range(file, plan.start, journal, kJournalHeaderBytes,
                          plan.old_size - plan.start, &record.old_crc);
  if (status == kApeSuccess && (journal.WriteAt(0, render_journal_header(record)) != 0 ||
                                journal.Sync() != 0 || sync_folder(path) != 0)) {
    status = kApeErrorWriteFile;
  }
  if (status != kApeSuccess) {
    (void)remove_journal(name);
  }
  return status;
}

int write_journaled(const std::string& path, const TFileDescriptor& file, const TSavePlan& plan) {
  // 1. The record, on disk (its name included) before the file is touched.
  if (int status = begin_journal(path, file, plan); status != kApeSuccess) {
    return status;
  }
  // 2. The new block in place.
  if (file.WriteAt(plan.start, plan.block) != 0 ||
      file.Truncate(plan.start + plan.block.size()) != 0 || file.SyncData() != 0) {
    // Undone from the record now when the disk lets us; otherwise by the next run.
    (void)recover_interrupted_save(path, file);
    return kApeErrorWriteFile;
  }
  // 3. Done. A journal this cannot remove is recognised as finished by the next run.
  (void)remove_journal(journal_path(path));
  return kApeSuccess;
}
