// The APE tag (versions 1 and 2) as bytes: items, header/footer, and rendering.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/monkeysaudio/core/byte_order.h"
#include "platform/monkeysaudio/core/limits.h"

constexpr uint32_t kApeTagVersion1 = 1000;
constexpr uint32_t kApeTagVersion2 = 2000;
constexpr uint32_t kApeTagHasHeader = 0x80000000;
constexpr uint32_t kApeTagIsHeader = 0x20000000;
constexpr uint32_t kApeTagReadOnly = 0x1;
constexpr uint32_t kApeItemTypeMask = 0x6;
constexpr uint32_t kApeItemText = 0x0;
constexpr uint32_t kApeItemBinary = 0x2;
constexpr uint32_t kApeItemReadOnly = 0x1;

struct TApeItem {
  std::string key;     // as stored: case kept
  uint32_t flags = 0;  // type and read-only bits, kept as read
  std::string value;   // raw bytes; text values hold several values separated by NUL
  // The whole stored item, for an item whose length is sound but whose key may not be written:
  // it is no field (never fetched or replaced) and goes back into the tag exactly as read.
  std::string kept_bytes = {};
  // A binary value left in the file (nothing shows it): its length and where it starts in the
  // file; `value` is empty then. Only a save of that same file, under its lock, reads it.
  uint32_t unread_bytes = 0;
  uint64_t value_at = 0;

  bool IsText() const { return (flags & kApeItemTypeMask) == kApeItemText; }
  bool IsKept() const { return !kept_bytes.empty(); }
  bool IsUnread() const { return unread_bytes != 0; }
  size_t ValueBytes() const { return IsUnread() ? unread_bytes : value.size(); }
  size_t StoredBytes() const {
    return IsKept() ? kept_bytes.size() : 9 + key.size() + ValueBytes();
  }
  bool operator==(const TApeItem&) const = default;
};

// Header or footer fields. `block` is 32 bytes; nothing when it lacks the preamble.
struct TApeTagBlock {
  uint32_t version = 0;
  uint32_t tag_size = 0;  // items + footer, header excluded
  uint32_t item_count = 0;
  uint32_t flags = 0;
};
std::optional<TApeTagBlock> parse_ape_tag_block(TByteSpan block);

// A key may be stored: 2..255 bytes of 0x20..0x7E, and none of the names other tags start with
// (ID3, TAG, OggS, MP+) in any case.
bool is_valid_ape_key(std::string_view key);

// Case-insensitive (ASCII) key comparison.
bool ape_keys_equal(std::string_view a, std::string_view b);

// Items of an items area. `sound` is true when every byte of the area belongs to an item whose
// length is sound, so that writing the items back loses nothing; otherwise `items` holds those
// before the first fault. An item with a key that may not be stored (too short or long, a
// control byte, a reserved name) does not stop the parse: it comes back kept (IsKept), so that
// the items after it still show and a rewrite keeps it. The declared count is not trusted:
// parsing follows the bytes, up to kApeTagMaxItems items. Version 1 items are all text (their
// flags are ignored), and their writers ended each value with a NUL, which is dropped: in a
// version 2 tag it would add an empty value.
struct TApeItemsParse {
  std::vector<TApeItem> items;
  bool sound = false;
  bool read_failed = false;  // the source could not deliver bytes it holds
};
TApeItemsParse parse_ape_items(TByteSpan area, uint32_t version);

// The bytes of an items area of `Size()` bytes, delivered on demand, for a parse that need not
// hold the whole area: binary values it does not hold already are skipped, never read.
class TItemsSource {
 public:
  virtual ~TItemsSource() = default;
  virtual uint64_t Size() const = 0;
  // [offset, offset + size) of the area, which the caller keeps inside Size(); an empty span
  // when it cannot be read (size > 0). Valid until the next call.
  virtual TByteSpan Bytes(uint64_t offset, uint64_t size) = 0;
  // The bytes from `offset` on that are at hand, reading some when none are: at least one
  // while offset < Size(); empty on a read error.
  virtual TByteSpan From(uint64_t offset) = 0;
  // True when [offset, offset + size) is at hand without a read.
  virtual bool Holds(uint64_t offset, uint64_t size) const = 0;
};

// The same parse on a source. Each item's header and key are read and its length checked
// exactly as above, so `sound` means the same; a binary value the source does not hold comes
// back unread (IsUnread, value_at relative to the area's start). Text values, version 1 values
// and kept items are always read.
TApeItemsParse parse_ape_items(TItemsSource& area, uint32_t version);

// An APEv2 tag with header and footer: items in the order given, flags kept, kept items byte for
// byte; `read_only` sets the tag's read-only flag. An unread value takes its length in zeros,
// which the caller fills from the file before the bytes go anywhere. No items: no bytes. The order
// is kept rather than sorted by size because readers resolve two items of one name in different
// case by the later one: re-sorting would change a field nobody wrote.
TBytes render_ape_tag(const std::vector<TApeItem>& items, bool read_only = false);
