#include "platform/monkeysaudio/core/ape_tag.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::string_view kPreamble = "APETAGEX";

char lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void append_block(TBytes& out, uint32_t tag_size, uint32_t count, uint32_t flags) {
  out.insert(out.end(), kPreamble.begin(), kPreamble.end());
  append_u32le(out, kApeTagVersion2);
  append_u32le(out, tag_size);
  append_u32le(out, count);
  append_u32le(out, flags);
  out.insert(out.end(), 8, 0);
}

}  // namespace

std::optional<TApeTagBlock> parse_ape_tag_block(TByteSpan block) {
  if (block.size() < kApeTagBlockBytes || !has_text_at(block, 0, kPreamble)) {
    return std::nullopt;
  }
  TApeTagBlock fields;
  fields.version = read_u32le(block, 8);
  fields.tag_size = read_u32le(block, 12);
  fields.item_count = read_u32le(block, 16);
  fields.flags = read_u32le(block, 20);
  return fields;
}

bool ape_keys_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower_ascii(a[i]) != lower_ascii(b[i])) {
      return false;
    }
  }
  return true;
}

bool is_valid_ape_key(std::string_view key) {
  if (key.size() < 2 || key.size() > kApeKeyMaxBytes) {
    return false;
  }
  for (char c : key) {
    if (c < 0x20 || c > 0x7E) {
      return false;
    }
  }
  for (std::string_view reserved : {"ID3", "TAG", "OggS", "MP+"}) {
    if (ape_keys_equal(key, reserved)) {
      return false;
    }
  }
  return true;
}

namespace {

// A whole area in memory: everything is at hand.
class TSpanSource final : public TItemsSource {
 public:
  explicit TSpanSource(TByteSpan area) : fArea(area) {}
  uint64_t Size() const override { return fArea.size(); }
  TByteSpan Bytes(uint64_t offset, uint64_t size) override { return fArea.subspan(offset, size); }
  TByteSpan From(uint64_t offset) override { return fArea.subspan(offset); }
  bool Holds(uint64_t, uint64_t) const override { return true; }

 private:
  TByteSpan fArea;
};

// Offset of the first NUL at or after `from`; the area's size when there is none, or when the
// bytes could not be read (`failed`).
uint64_t find_nul(TItemsSource& area, uint64_t from, bool* failed) {
  while (from < area.Size()) {
    const TByteSpan bytes = area.From(from);
    if (bytes.empty()) {
      *failed = true;
      return area.Size();
    }
    if (const void* nul = std::memchr(bytes.data(), 0, bytes.size()); nul != nullptr) {
      return from + static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - bytes.data());
    }
    from += bytes.size();
  }
  return from;
}

bool assign_bytes(TItemsSource& area, uint64_t offset, uint64_t size, std::string* out) {
  const TByteSpan bytes = area.Bytes(offset, size);
  if (bytes.size() != size) {
    return false;
  }
  out->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

TApeItemsParse parse_ape_items(TByteSpan area, uint32_t version) {
  TSpanSource source(area);
  return parse_ape_items(source, version);
}

TApeItemsParse parse_ape_items(TItemsSource& area, uint32_t version) {
  TApeItemsParse result;
  const uint64_t area_size = area.Size();
  uint64_t pos = 0;
  while (pos < area_size) {
    if (result.items.size() >= kApeTagMaxItems || area_size - pos < kApeItemMinBytes) {
      return result;
    }
    const TByteSpan head = area.Bytes(pos, 8);
    if (head.size() != 8) {
      result.read_failed = true;
      return result;
    }
    const uint32_t value_size = read_u32le(head, 0);
    const uint32_t flags = read_u32le(head, 4);
    const uint64_t key_start = pos + 8;
    // The terminator is looked for over the whole rest: a key too long to be valid still has a
    // sound length, and the item can be kept.
    const uint64_t key_end = find_nul(area, key_start, &result.read_failed);
    if (key_end == area_size) {
      return result;
    }
    const uint64_t value_start = key_end + 1;
    if (value_size > area_size - value_start) {
      return result;
    }
    TApeItem item;
    item.flags = version == kApeTagVersion1 ? 0 : flags;
    if (!assign_bytes(area, key_start, key_end - key_start, &item.key)) {
      result.read_failed = true;
      return result;
    }
    const bool kept = !is_valid_ape_key(item.key);
    if (!kept && !item.IsText() && value_size > 0 && !area.Holds(value_start, value_size)) {
      // Only the length matters to the parse, and nothing shows a binary value.
      item.unread_bytes = value_size;
      item.value_at = value_start;
    } else if (!assign_bytes(area, value_start, value_size, &item.value) ||
               (kept &&
                !assign_bytes(area, pos, value_start + value_size - pos, &item.kept_bytes))) {
      result.read_failed = true;
      return result;
    }
    if (!kept && version == kApeTagVersion1 && !item.value.empty() && item.value.back() == '\0') {
      item.value.pop_back();
    }
    result.items.push_back(std::move(item));
    pos = value_start + value_size;
  }
  result.sound = true;
  return result;
}

TBytes render_ape_tag(const std::vector<TApeItem>& items, bool read_only) {
  TBytes out;
  if (items.empty()) {
    return out;
  }
  size_t items_bytes = 0;
  for (const TApeItem& item : items) {
    items_bytes += item.StoredBytes();
  }
  const auto tag_size = static_cast<uint32_t>(items_bytes + kApeTagBlockBytes);
  const auto count = static_cast<uint32_t>(items.size());
  const uint32_t flags = kApeTagHasHeader | (read_only ? kApeTagReadOnly : 0);
  out.reserve(items_bytes + 2 * kApeTagBlockBytes);
  append_block(out, tag_size, count, flags | kApeTagIsHeader);
  for (const TApeItem& item : items) {
    if (item.IsKept()) {
      out.insert(out.end(), item.kept_bytes.begin(), item.kept_bytes.end());
      continue;
    }
    append_u32le(out, static_cast<uint32_t>(item.ValueBytes()));
    append_u32le(out, item.flags);
    out.insert(out.end(), item.key.begin(), item.key.end());
    out.push_back(0);
    out.insert(out.end(), item.value.begin(), item.value.end());
    out.insert(out.end(), item.unread_bytes, 0);
  }
  append_block(out, tag_size, count, flags);
  return out;
}
