#include "platform/monkeysaudio/tag_file.h"

#include <fcntl.h>

#include <algorithm>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/save_plan.h"

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

int execute_plan(const TFileDescriptor& file, const TSavePlan& plan) {
  const uint64_t new_size = plan.start + plan.block.size();
  switch (plan.action) {
    case TSaveAction::kNothing:
      return kApeSuccess;
    case TSaveAction::kTruncate:
      if (file.Truncate(plan.start) != 0) {
        return kApeErrorWriteFile;
      }
      break;
    case TSaveAction::kWriteInPlace: {
      TBytes old_block;
      if (file.ReadAt(plan.start, plan.old_size - plan.start, &old_block) != 0) {
        return kApeErrorReadFile;
      }
      if (file.Reserve(plan.old_size, new_size - plan.old_size) != 0) {
        return kApeErrorWriteFile;
      }
      if (file.WriteAt(plan.start, plan.block) != 0) {
        // Best effort: put the old tag back, so the file does not end in half a tag.
        (void)file.WriteAt(plan.start, old_block);
        (void)file.Truncate(plan.old_size);
        return kApeErrorWriteFile;
      }
      break;
    }
    case TSaveAction::kAppendThenMove:
      if (file.Reserve(plan.old_size, plan.block.size()) != 0) {
        return kApeErrorWriteFile;
      }
      if (file.WriteAt(plan.old_size, plan.block) != 0) {
        (void)file.Truncate(plan.old_size);
        return kApeErrorWriteFile;
      }
      // The appended copy must reach the disk before the old tag is overwritten: this is the
      // one step where a power loss could otherwise leave the file ending in half a tag.
      if (file.SyncData() != 0 || file.WriteAt(plan.start, plan.block) != 0 ||
          file.Truncate(new_size) != 0) {
        return kApeErrorWriteFile;
      }
      break;
  }
  // No sync at the end: every other step leaves a complete tag at the end of the file by itself,
  // and a sync would make each save cost milliseconds, far more than the rest of a run.
  return kApeSuccess;
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
  return read_tag_file(file, require_header, view);
}

int save_tag_file(const char* path, bool require_header, const std::vector<TApeItem>& items,
                  bool erased) {
  TFileDescriptor file;
  if (path == nullptr || file.OpenRegular(path, O_RDWR) != 0 || file.LockExclusive() != 0) {
    return kApeErrorWriteFile;
  }
  TTagFileView view;
  if (int status = read_tag_file(file, require_header, &view); status != kApeSuccess) {
    return status;
  }
  TSavePlan plan;
  if (int status = plan_tag_save(view.region, view.file_size, items, erased, &plan);
      status != kApeSuccess) {
    return status;
  }
  return execute_plan(file, plan);
}
