// What a save writes, decided from bytes: the steps that replace a file's tag.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/tag_region.h"

// The tag block (new APE tag plus the kept tail) replaces the file's bytes from `start` on.
//   kNothing:   no tag before, none after.
//   kTruncate:  cut the file at `start` (the tag and its tail are removed).
//   kWrite:     `block` replaces the bytes from `start` to the end of the file.
// How a write gets there (one page in place, or through the journal) is the file layer's choice,
// made where it writes (see save_journal.h).
enum class TSaveAction { kNothing, kTruncate, kWrite };

struct TSavePlan {
  TSaveAction action = TSaveAction::kNothing;
  uint64_t start = 0;
  uint64_t old_size = 0;
  TBytes block;
  // Values of unread items (TApeItem::IsUnread): `block` holds zeros at block_at, and the file
  // the items were read from holds the value at file_at. Filled before the block is written.
  struct TUnreadValue {
    uint64_t block_at = 0;
    uint64_t file_at = 0;
    uint32_t size = 0;
  };
  std::vector<TUnreadValue> unread;
};

// Plans the save of `items` over the tag described by `region` (read just now, from a file of
// `file_size` bytes). With items, the tail (Lyrics3v2, ID3v1) is kept after the new APE tag;
// without, the APE tag and the tail are removed, so that no old field shows through.
// `erased` says the caller dropped every field read, which lets a tag with damaged items be
// replaced. Returns kApeSuccess, kApeErrorBadTag (the tag is not trusted enough to be
// replaced) or kApeErrorInvalidArgument (the new tag would be larger than a tag may be).
int plan_tag_save(const TTagRegion& region, uint64_t file_size, const std::vector<TApeItem>& items,
                  bool erased, TSavePlan* plan);

// A whole save on a file image: recognition, tag reading and planning, then the plan applied
// as the file layer applies it to a file. `image` is left unchanged unless the result is
// kApeSuccess. The reference a save of the file layer is checked against: it reads the image
// whole, where the file layer reads through a window and a walk.
int save_tag_image(TBytes& image, const std::vector<TApeItem>& items, bool erased);
