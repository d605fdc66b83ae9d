// Reading and saving the tag of a file on disk: the file layer joined to the byte functions.
#pragma once

#include <optional>
#include <vector>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/core/tag_region.h"

struct TTagFileView {
  std::optional<TApeHeader> header;  // set when the header was required
  uint64_t file_size = 0;
  TTagRegion region;
};

// Opens `path` and reads its header (when `require_header`) and its tag. When a save of the file
// was cut off and this process may write the file, the save is first finished or undone (see
// save_journal.h); otherwise nothing is written. Costs a few reads at the start and the end of
// the file, whatever its size and its tag's (see read_file_tag): binary values (cover art) are
// left in the file, unread (TApeItem::IsUnread), unless a chunk already read holds them.
// Returns kApeSuccess, kApeErrorOpenFile (cannot be opened, or not a regular file),
// kApeErrorReadFile or kApeErrorInvalidFormat (header required and not found).
int load_tag_file(const char* path, bool require_header, TTagFileView* view);

// Replaces the tag of `path` by `items` (none: removes the tag and any ID3v1 tag behind it),
// under an exclusive lock, locating the tag again once the lock is held (after finishing or
// undoing a save that was cut off). Only bytes from the tag's start on are written. Whenever the
// program stops (a kill, a power cut), the next open finds the old tag or the new one; on
// kApeSuccess the new one is on disk. A save that must go through a journal (see
// save_journal.h) is refused with kApeErrorWriteFile when the file's folder cannot be written.
// `erased` as for plan_tag_save; `items` hold no unread values (kApeErrorInvalidArgument
// otherwise: their offsets belong to another read). Returns kApeSuccess or an ApeError; on
// kApeErrorWriteFile the file holds the old tag or the new one.
int save_tag_file(const char* path, bool require_header, const std::vector<TApeItem>& items,
                  bool erased);

// The same for the changes recorded in `fields` (TTagFields::Changes), applied to the tag as
// the file holds it once the lock is held; on kApeSuccess `*saved` holds the items saved.
int save_tag_changes(const char* path, bool require_header, const TTagFields& fields,
                     TTagFields* saved);
