// The fields of one tag as the library's callers see them: fetched as text, put, erased.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/ape_tag.h"

class TTagFields {
 public:
  TTagFields() = default;
  explicit TTagFields(std::vector<TApeItem> items) : fItems(std::move(items)) {}

  // Copies the text of the item named `field` (any case; the last such item when a damaged tag
  // holds several, as other readers do) into `buffer`, of room *buffer_bytes (at least 1), with
  // its values joined by "; " (a NUL ending the value is no separator). The buffer always ends up
  // NUL-terminated: cut to fit (at a character boundary when the text is UTF-8), empty for a
  // missing or non-text item. *buffer_bytes becomes the length copied. Returns kApeSuccess,
  // kApeErrorFieldNotFound (missing or not text), kApeErrorBufferTooSmall (cut) or
  // kApeErrorInvalidArgument (buffer unchanged).
  int Fetch(const char* field, char* buffer, int* buffer_bytes) const;

  // Sets the item `field` to `value`, replacing every item of that name: the first keeps its
  // place and stored spelling, a new item goes last. An empty value removes the item instead.
  // The value is stored exactly as given, whatever its bytes: a caller that cuts a value to a
  // buffer cuts it between characters itself. Returns kApeSuccess or kApeErrorInvalidArgument (a
  // key that may not be stored, a value too large for a tag, flags other than the item type and
  // read-only bits); nothing changes then.
  int Put(std::string_view field, std::string_view value, uint32_t flags);

  void EraseAll();

  // The changes made by Put and EraseAll since the last save, in order.
  struct TChange {
    bool erase_all = false;
    std::string field;
    std::string value;
    uint32_t flags = 0;
  };
  const std::vector<TChange>& Changes() const { return fChanges; }
  // `items` (the tag as the file holds it now) with this object's changes applied: what a save
  // writes, so that what another process saved meanwhile stays unless this object changed it.
  TTagFields Replayed(std::vector<TApeItem> items) const;

  const std::vector<TApeItem>& Items() const { return fItems; }
  // Frees the values of binary items (cover art), which Fetch never shows; for an object that
  // only shows and changes fields, since a save replays its changes on the tag read again.
  void DropBinaryValues();
  // True once EraseAll was called: every field read from the file was dropped on purpose.
  bool Erased() const { return fErased; }
  bool Modified() const { return fModified; }
  // The items are now what the file holds.
  void MarkSaved() {
    fErased = fModified = false;
    fChanges.clear();
  }

 private:
  std::vector<TApeItem> fItems;
  bool fErased = false;
  bool fModified = false;
  std::vector<TChange> fChanges;
};
