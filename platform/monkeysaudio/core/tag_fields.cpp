#include "platform/monkeysaudio/core/tag_fields.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr std::string_view kValueSeparator = "; ";

// Length of the longest prefix of `text` (at most `limit` bytes) that does not split a UTF-8
// sequence, when `text` is UTF-8 at all; otherwise `limit`.
size_t cut_length(std::string_view text, size_t limit) {
  size_t pos = 0;
  size_t last_boundary = 0;
  while (pos < text.size()) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || text.size() - pos < length) {
      return limit;
    }
    for (size_t i = 1; i < length; ++i) {
      if ((static_cast<uint8_t>(text[pos + i]) & 0xC0) != 0x80) {
        return limit;
      }
    }
    if (pos <= limit) {
      last_boundary = pos;
    }
    pos += length;
  }
  return pos <= limit ? pos : last_boundary;
}

}  // namespace

int TTagFields::Fetch(const char* field, char* buffer, int* buffer_bytes) const {
  if (buffer == nullptr || buffer_bytes == nullptr || *buffer_bytes < 1) {
    return kApeErrorInvalidArgument;
  }
  const size_t room = static_cast<size_t>(*buffer_bytes) - 1;
  buffer[0] = '\0';
  *buffer_bytes = 0;
  if (field == nullptr) {
    return kApeErrorInvalidArgument;
  }
  auto found = std::find_if(fItems.rbegin(), fItems.rend(), [&](const TApeItem& item) {
    return !item.IsKept() && ape_keys_equal(item.key, field);
  });
  if (found == fItems.rend() || !found->IsText()) {
    return kApeErrorFieldNotFound;
  }
  // A NUL at the very end closes the value (as writers of version 1 tags did); only a NUL
  // between values separates them.
  std::string_view value = found->value;
  if (!value.empty() && value.back() == '\0') {
    value.remove_suffix(1);
  }
  std::string text;
  for (char c : value) {
    if (c == '\0') {
      text += kValueSeparator;
    } else {
      text += c;
    }
  }
  const size_t length = text.size() <= room ? text.size() : cut_length(text, room);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  *buffer_bytes = static_cast<int>(length);
  return length == text.size() ? kApeSuccess : kApeErrorBufferTooSmall;
}

int TTagFields::Put(std::string_view field, std::string_view value, uint32_t flags) {
  if (!is_valid_ape_key(field) || value.size() > kApeTagMaxItemBytes ||
      (flags & ~(kApeItemTypeMask | kApeItemReadOnly)) != 0) {
    return kApeErrorInvalidArgument;
  }
  auto matches = [&](const TApeItem& item) {
    return !item.IsKept() && ape_keys_equal(item.key, field);
  };
  auto first = std::find_if(fItems.begin(), fItems.end(), matches);
  if (first == fItems.end()) {
    if (!value.empty()) {
      fItems.push_back(TApeItem{std::string(field), flags, std::string(value)});
    }
  } else if (value.empty()) {
    std::erase_if(fItems, matches);
  } else {
    // The first item of that name takes the new value in its place; the others go. Every other
    // item stays where it was, so no field nobody wrote changes in any reader.
    first->flags = flags;
    first->value = value;
    first->unread_bytes = 0;
    first->value_at = 0;
    fItems.erase(std::remove_if(std::next(first), fItems.end(), matches), fItems.end());
  }
  fModified = true;
  fChanges.push_back({false, std::string(field), std::string(value), flags});
  return kApeSuccess;
}

void TTagFields::EraseAll() {
  fItems.clear();
  fErased = true;
  fModified = true;
  fChanges.clear();  // nothing put before an erase survives it
  fChanges.push_back({true, {}, {}, 0});
}

TTagFields TTagFields::Replayed(std::vector<TApeItem> items) const {
  TTagFields result(std::move(items));
  for (const TChange& change : fChanges) {
    if (change.erase_all) {
      result.EraseAll();
    } else {
      // Each change was accepted once, and acceptance does not depend on the items.
      (void)result.Put(change.field, change.value, change.flags);
    }
  }
  return result;
}

void TTagFields::DropBinaryValues() {
  for (TApeItem& item : fItems) {
    if (!item.IsText()) {
      std::string().swap(item.value);
      item.unread_bytes = 0;  // a later save reads the tag again; offsets go stale
      item.value_at = 0;
    }
  }
}
