#include "platform/monkeysaudio/file/tag_file.h"

#include <fcntl.h>

#include <algorithm>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/save_journal.h"
#include "platform/monkeysaudio/core/save_plan.h"
#include "platform/monkeysaudio/file/file_io.h"
#include "platform/monkeysaudio/file/journal_file.h"

namespace {

// Where `block` starts to differ from the file's bytes from `start` on (`old_bytes` of them, no
// more than the block), and where it stops; {0, 0} when they are equal. Compared a chunk at a
// time, so that the old tag is never held whole.
int changed_range(const TFileDescriptor& file, uint64_t start, uint64_t old_bytes, TByteSpan block,
                  std::pair<uint64_t, uint64_t>* range) {
  TBytes chunk;
  uint64_t first = 0;
  for (; first < old_bytes; first += chunk.size()) {
    if (file.ReadAt(start + first, std::min(kCopyChunkBytes, old_bytes - first), &chunk) != 0) {
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
    const uint64_t take = std::min(kCopyChunkBytes, last - first);
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
    case TSaveAction::kWrite:
      return write_block(path, file, plan);
  }
  return kApeErrorWriteFile;
}

// Reads the header (when `require_header`) and the tag of `file` as it is now. Without the
// recovery of load_tag_file: only for a file whose journal was just dealt with.
int read_tag_file(const TFileDescriptor& file, bool require_header, TTagFileView* view) {
  if (file.Size(&view->file_size) != 0) {
    return kApeErrorReadFile;
  }
  const TFileReader reader = file.Reader();
  if (require_header) {
    bool read_failed = false;
    view->header = read_ape_header(reader, view->file_size, &read_failed);
    if (!view->header) {
      return read_failed ? kApeErrorReadFile : kApeErrorInvalidFormat;
    }
  }
  return read_file_tag(reader, view->file_size, view->header ? &*view->header : nullptr,
                       &view->region)
             ? kApeSuccess
             : kApeErrorReadFile;
}

}  // namespace

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
