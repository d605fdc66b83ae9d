#include "platform/monkeysaudio/file/tag_file.h"

#include <fcntl.h>

#include <algorithm>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/save_journal.h"
#include "platform/monkeysaudio/core/save_plan.h"
#include "platform/monkeysaudio/file/journal_file.h"

namespace {

constexpr uint64_t kHeadWindow = 4 << 10;
constexpr uint64_t kCompareChunkBytes = 1 << 20;

}  // namespace

int read_file_header(const TFileDescriptor& file, uint64_t size,
                     std::optional<TApeHeader>* header) {
  TBytes bytes;
  if (file.ReadAt(0, std::min(size, kHeadWindow), &bytes) != 0) {
    return kApeErrorReadFile;
  }
  const uint64_t skip = id3v2_prefix_length(bytes);
  if (skip >= size) {
    return kApeErrorInvalidFormat;
  }
  if (skip > 0 && file.ReadAt(skip, std::min(size - skip, kHeadWindow), &bytes) != 0) {
    return kApeErrorReadFile;
  }
  *header = parse_ape_header(bytes, skip, size);
  if (!*header && size - skip > bytes.size()) {
    // Junk before the header: look further, once.
    if (file.ReadAt(skip, std::min(size - skip, kApeHeaderWindow), &bytes) != 0) {
      return kApeErrorReadFile;
    }
  }
  if (!*header) {
    *header = find_ape_header(bytes, skip, size);
  }
  if (!*header) {
    return kApeErrorInvalidFormat;
  }
  const uint64_t entry = (*header)->last_seek_entry_at;
  if (entry != 0 && size >= 4 && entry <= size - 4) {
    if (file.ReadAt(entry, 4, &bytes) != 0) {
      return kApeErrorReadFile;
    }
    settle_audio_end(**header, read_u32le(bytes, 0), size);
  }
  return kApeSuccess;
}

namespace {

// Where `block` starts to differ from the file's bytes from `start` on (`old_bytes` of them, no
// more than the block), and where it stops; {0, 0} when they are equal. Compared a chunk at a
// time, so that the old tag is never held whole.
int changed_range(const TFileDescriptor& file, uint64_t start, uint64_t old_bytes, TByteSpan block,
                  std::pair<uint64_t, uint64_t>* range) {
  TBytes chunk;
  uint64_t first = 0;
  for (; first < old_bytes; first += chunk.size()) {
    if (file.ReadAt(start + first, std::min(kCompareChunkBytes, old_bytes - first), &chunk) != 0) {
      return kApeErrorReadFile;
    }
    const auto differs = std::mismatch(chunk.begin(), chunk.end(), block.begin() + first).first;
    if (differs != chunk.end()) {
      first += static_cast<uint64_t>(differs - chunk.begin());
      break;
    }
  }
  if (block.size() > old_bytes) {
    *range = {first, block.size()};
    return kApeSuccess;
  }
  if (first == old_bytes) {
    *range = {0, 0};
    return kApeSuccess;
  }
  uint64_t last = old_bytes;
  while (last > first) {
    const uint64_t take = std::min(kCompareChunkBytes, last - first);
    if (file.ReadAt(start + last - take, take, &chunk) != 0) {
      return kApeErrorReadFile;
    }
    const auto same = std::mismatch(chunk.rbegin(), chunk.rend(),
                                    std::make_reverse_iterator(block.begin() + last))
                          .first;
    if (same != chunk.rend()) {
      last -= static_cast<uint64_t>(same - chunk.rbegin());
      break;
    }
    last -= take;
  }
  *range = {first, last};
  return kApeSuccess;
}

// Replaces the bytes from plan.start to the end of the file by plan.block (see save_journal.h
// for the steps and what each leaves after a kill or a power cut). The bytes before plan.start
// never change.
int write_block(const std::string& path, const TFileDescriptor& file, const TSavePlan& plan) {
  const uint64_t new_size = plan.start + plan.block.size();
  if (new_size >= plan.old_size) {
    std::pair<uint64_t, uint64_t> range;
    if (int status =
            changed_range(file, plan.start, plan.old_size - plan.start, plan.block, &range);
        status != kApeSuccess) {
      return status;
    }
    const auto [first, last] = range;
    if (last == first ||
        (plan.start + first) / kPageBytes == (plan.start + last - 1) / kPageBytes) {
      const TByteSpan changed = TByteSpan(plan.block).subspan(first, last - first);
      return file.WriteAt(plan.start + first, changed) == 0 && file.SyncData() == 0
                 ? kApeSuccess
                 : kApeErrorWriteFile;
    }
  }
  return write_journaled(path, file, plan);
}

int execute_plan(const std::string& path, const TFileDescriptor& file, const TSavePlan& plan) {
  switch (plan.action) {
    case TSaveAction::kNothing:
      return kApeSuccess;
    case TSaveAction::kTruncate:
      // One cut, whole or not at all; the sync makes it last before the program says so.
      return file.Truncate(plan.start) == 0 && file.SyncData() == 0 ? kApeSuccess
                                                                    : kApeErrorWriteFile;
    case TSaveAction::kWriteInPlace:
    case TSaveAction::kWriteThenCut:
      return write_block(path, file, plan);
  }
  return kApeErrorWriteFile;
}

}  // namespace

int read_tag_file(const TFileDescriptor& file, bool require_header, TTagFileView* view) {
  if (file.Size(&view->file_size) != 0) {
    return kApeErrorReadFile;
  }
  const uint64_t size = view->file_size;
  uint64_t floor = 0;
  uint64_t audio_end = 0;
  uint64_t frames_start = 0;
  if (require_header) {
    if (int status = read_file_header(file, size, &view->header); status != kApeSuccess) {
      return status;
    }
    floor = tag_floor(*view->header);
    audio_end = tag_audio_end(*view->header);
    frames_start = view->header->frames_start;
  }
  // Each round reads what the structure found so far points at (a Lyrics3v2 block, then the APE
  // tag before it, then its items); the window only grows and never passes the file's start.
  // An APE tag the window lacks is walked through `reader` instead, its binary values skipped.
  const TFileReader reader = {[&file](uint64_t offset, uint64_t bytes, TBytes* out) {
    return file.ReadAt(offset, bytes, out) == 0;
  }};
  TBytes window;
  uint64_t window_size = std::min(size, kTagFirstWindow);
  for (;;) {
    if (file.ReadAt(size - window_size, window_size, &window) != 0) {
      return kApeErrorReadFile;
    }
    TTagScan scan = scan_tag_region(window, size, floor, audio_end, frames_start, &reader);
    if (scan.read_failed) {
      return kApeErrorReadFile;
    }
    if (scan.complete) {
      view->region = std::move(scan.region);
      if (view->header) {
        keep_id3v1_of_wav_tail(*view->header, view->region);
      }
      return kApeSuccess;
    }
    if (scan.needed <= window_size || scan.needed > size) {
      return kApeErrorReadFile;
    }
    window_size = scan.needed;
  }
}

int load_tag_file(const char* path, bool require_header, TTagFileView* view) {
  TFileDescriptor file;
  if (path == nullptr || file.OpenRegular(path, O_RDONLY) != 0) {
    return kApeErrorOpenFile;
  }
  // A save in another process may be rewriting the tag right now; read after it. A file system
  // without locks still reads: the lock only orders readers behind writers.
  (void)file.LockShared();
  // No save runs while the shared lock is held, so a journal now is one a save left behind: it
  // is finished or undone by a reader that may write the file; any other reader reads the file
  // as it is.
  if (journal_exists(path)) {
    TFileDescriptor writer;
    if (writer.OpenRegular(path, O_RDWR) == 0) {
      file = TFileDescriptor();
      (void)writer.LockExclusive();
      (void)recover_interrupted_save(path, writer);
      file = std::move(writer);
    }
  }
  return read_tag_file(file, require_header, view);
}

namespace {

// Saves, under an exclusive lock, the items `merge` makes of the tag as the file holds it then.
template <typename TMerge>
int save_locked(const char* path, bool require_header, TMerge merge) {
  TFileDescriptor file;
  if (path == nullptr || file.OpenRegular(path, O_RDWR) != 0 || file.LockExclusive() != 0) {
    return kApeErrorWriteFile;
  }
  if (int status = recover_interrupted_save(path, file); status != kApeSuccess) {
    return status;
  }
  TTagFileView view;
  if (int status = read_tag_file(file, require_header, &view); status != kApeSuccess) {
    return status;
  }
  const auto [items, erased] = merge(std::move(view.region.items));
  TSavePlan plan;
  if (int status = plan_tag_save(view.region, view.file_size, items, erased, &plan);
      status != kApeSuccess) {
    return status;
  }
  // The values a listing skips are read now, from the file as the lock keeps it, straight into
  // the block: a save holds its new tag once and streams the old one.
  for (const TSavePlan::TUnreadValue& value : plan.unread) {
    if (file.ReadInto(value.file_at,
                      std::span<uint8_t>(plan.block).subspan(value.block_at, value.size)) != 0) {
      return kApeErrorReadFile;
    }
  }
  return execute_plan(path, file, plan);
}

}  // namespace

int save_tag_file(const char* path, bool require_header, const std::vector<TApeItem>& items,
                  bool erased) {
  // Unread values belong to the read that left them, not to this one.
  if (std::any_of(items.begin(), items.end(),
                  [](const TApeItem& item) { return item.IsUnread(); })) {
    return kApeErrorInvalidArgument;
  }
  return save_locked(path, require_header, [&](std::vector<TApeItem>) {
    return std::pair<const std::vector<TApeItem>&, bool>(items, erased);
  });
}

int save_tag_changes(const char* path, bool require_header, const TTagFields& fields,
                     TTagFields* saved) {
  TTagFields merged;
  const int status = save_locked(path, require_header, [&](std::vector<TApeItem> items) {
    merged = fields.Replayed(std::move(items));
    return std::pair<const std::vector<TApeItem>&, bool>(merged.Items(), merged.Erased());
  });
  if (status == kApeSuccess) {
    merged.MarkSaved();
    *saved = std::move(merged);
  }
  return status;
}
