#include "platform/monkeysaudio/tag_file.h"

#include <fcntl.h>

#include <algorithm>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/save_copy.h"
#include "platform/monkeysaudio/save_plan.h"
#include "platform/monkeysaudio/save_recovery.h"

namespace {

constexpr uint64_t kHeadWindow = 4 << 10;

int read_header(const TFileDescriptor& file, uint64_t size, std::optional<TApeHeader>* header) {
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

// Where `block` starts to differ from `old_block` (no longer than it), and where it stops;
// {0, 0} when they are equal.
std::pair<uint64_t, uint64_t> changed_range(TByteSpan old_block, TByteSpan block) {
  const auto first = std::mismatch(old_block.begin(), old_block.end(), block.begin()).second;
  if (block.size() > old_block.size()) {
    return {static_cast<uint64_t>(first - block.begin()), block.size()};
  }
  if (first == block.end()) {
    return {0, 0};
  }
  const auto last = std::mismatch(old_block.rbegin(), old_block.rend(), block.rbegin()).second;
  return {static_cast<uint64_t>(first - block.begin()), static_cast<uint64_t>(block.rend() - last)};
}

// Replaces the bytes from plan.start to the end of the file by plan.block. At every instant,
// and in whatever the disk holds after a power cut, the file reads (through save_recovery.h) as
// the old tag or the new one, and its bytes before plan.start never change.
//   - The file keeps its length or grows, and the bytes that change lie in one page: one write
//     of them, one sync. A write inside one page is never torn, by a kill or by the disk.
//   - Otherwise: append a copy of the block and its trailer past both ends, sync; write the
//     block at plan.start, sync; cut the file at the block's end, sync. The first sync makes the
//     copy the tag before the old one is touched; the second keeps the cut from reaching the
//     disk before the block it exposes. Until the cut lands the copy is the tag, but one only
//     this library reads: the last sync keeps that window to the save itself.
int write_block(const TFileDescriptor& file, const TSavePlan& plan) {
  const uint64_t new_size = plan.start + plan.block.size();
  if (new_size >= plan.old_size) {
    TBytes old_block;
    if (file.ReadAt(plan.start, plan.old_size - plan.start, &old_block) != 0) {
      return kApeErrorReadFile;
    }
    const auto [first, last] = changed_range(old_block, plan.block);
    if (last == first ||
        (plan.start + first) / kPageBytes == (plan.start + last - 1) / kPageBytes) {
      const TByteSpan changed = TByteSpan(plan.block).subspan(first, last - first);
      return file.WriteAt(plan.start + first, changed) == 0 && file.SyncData() == 0
                 ? kApeSuccess
                 : kApeErrorWriteFile;
    }
  }
  const uint64_t copy_at = save_copy_offset(plan.start, plan.block.size(), plan.old_size);
  TBytes copy = plan.block;
  const TBytes trailer = render_save_trailer(plan.start, plan.block);
  copy.insert(copy.end(), trailer.begin(), trailer.end());
  if (file.Reserve(plan.old_size, copy_at + copy.size() - plan.old_size) != 0 ||
      file.WriteAt(copy_at, copy) != 0 || file.SyncData() != 0) {
    // The old tag is untouched; what was appended is debris, cut off again when possible.
    (void)file.Truncate(plan.old_size);
    return kApeErrorWriteFile;
  }
  // From here on the copy is the tag: a failure leaves the new tag readable.
  if (file.WriteAt(plan.start, plan.block) != 0 || file.SyncData() != 0 ||
      file.Truncate(new_size) != 0 || file.SyncData() != 0) {
    return kApeErrorWriteFile;
  }
  return kApeSuccess;
}

int execute_plan(const TFileDescriptor& file, const TSavePlan& plan) {
  switch (plan.action) {
    case TSaveAction::kNothing:
      return kApeSuccess;
    case TSaveAction::kTruncate:
      // One cut, whole or not at all; the sync makes it last before the program says so.
      return file.Truncate(plan.start) == 0 && file.SyncData() == 0 ? kApeSuccess
                                                                    : kApeErrorWriteFile;
    case TSaveAction::kWriteInPlace:
    case TSaveAction::kAppendThenMove:
      return write_block(file, plan);
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
    if (int status = read_header(file, size, &view->header); status != kApeSuccess) {
      return status;
    }
    floor = tag_floor(*view->header);
    audio_end = tag_audio_end(*view->header);
    frames_start = view->header->frames_start;
  }
  // Each round reads what the structure found so far points at (a Lyrics3v2 block, then the APE
  // tag before it, then its items); the window only grows and never passes the file's start.
  TBytes window;
  uint64_t window_size = std::min(size, kTagFirstWindow);
  for (;;) {
    if (file.ReadAt(size - window_size, window_size, &window) != 0) {
      return kApeErrorReadFile;
    }
    TTagScan scan = scan_tag_region(window, size, floor, audio_end, frames_start);
    if (scan.complete) {
      view->region = std::move(scan.region);
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
  return read_saved_tag_file(file, require_header, view);
}

namespace {

// Saves, under an exclusive lock, the items `merge` makes of the tag as the file holds it then.
template <typename TMerge>
int save_locked(const char* path, bool require_header, TMerge merge) {
  TFileDescriptor file;
  if (path == nullptr || file.OpenRegular(path, O_RDWR) != 0 || file.LockExclusive() != 0) {
    return kApeErrorWriteFile;
  }
  TTagFileView view;
  if (int status = read_saved_tag_file(file, require_header, &view); status != kApeSuccess) {
    return status;
  }
  const auto [items, erased] = merge(std::move(view.region.items));
  TSavePlan plan;
  if (int status = plan_tag_save(view.region, view.file_size, items, erased, &plan);
      status != kApeSuccess) {
    return status;
  }
  return execute_plan(file, plan);
}

}  // namespace

int save_tag_file(const char* path, bool require_header, const std::vector<TApeItem>& items,
                  bool erased) {
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
