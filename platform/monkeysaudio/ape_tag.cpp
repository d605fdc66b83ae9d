#include "platform/monkeysaudio/ape_tag.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::string_view kPreamble = "APETAGEX";
constexpr size_t kMaxKeyBytes = 255;

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
  if (key.size() < 2 || key.size() > kMaxKeyBytes) {
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

TApeItemsParse parse_ape_items(TByteSpan area, uint32_t version) {
  TApeItemsParse result;
  size_t pos = 0;
  while (pos < area.size()) {
    if (result.items.size() >= kApeTagMaxItems || area.size() - pos < kApeItemMinBytes) {
      return result;
    }
    const uint32_t value_size = read_u32le(area, pos);
    const uint32_t flags = read_u32le(area, pos + 4);
    const size_t key_start = pos + 8;
    // The terminator is looked for over the whole rest: a key too long to be valid still has a
    // sound length, and the item can be kept.
    const void* nul = std::memchr(area.data() + key_start, 0, area.size() - key_start);
    if (nul == nullptr) {
      return result;
    }
    const size_t key_end = static_cast<const uint8_t*>(nul) - area.data();
    const size_t value_start = key_end + 1;
    if (value_size > area.size() - value_start) {
      return result;
    }
    const auto* bytes = reinterpret_cast<const char*>(area.data());
    TApeItem item;
    item.key.assign(bytes + key_start, key_end - key_start);
    item.flags = version == kApeTagVersion1 ? 0 : flags;
    item.value.assign(bytes + value_start, value_size);
    if (!is_valid_ape_key(item.key)) {
      item.kept_bytes.assign(bytes + pos, value_start + value_size - pos);
    } else if (version == kApeTagVersion1 && !item.value.empty() && item.value.back() == '\0') {
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
    append_u32le(out, static_cast<uint32_t>(item.value.size()));
    append_u32le(out, item.flags);
    out.insert(out.end(), item.key.begin(), item.key.end());
    out.push_back(0);
    out.insert(out.end(), item.value.begin(), item.value.end());
  }
  append_block(out, tag_size, count, flags);
  return out;
}
