#include "platform/monkeysaudio/save_copy.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

constexpr std::string_view kTrailerMagic = "QLTCOPY1";
constexpr uint64_t kLyricsEndBytes = 15;  // six size digits and "LYRICS200"
constexpr uint64_t kLyricsMaxBytes = 999999 + kLyricsEndBytes;
constexpr uint64_t kId3v1Bytes = 128;
// Footers looked at behind debris, lowest first: a hostile file full of them costs no more.
constexpr size_t kMaxFootersTried = 64;

void append_u64le(TBytes& out, uint64_t value) {
  append_u32le(out, static_cast<uint32_t>(value));
  append_u32le(out, static_cast<uint32_t>(value >> 32));
}

uint64_t read_u64le(TByteSpan bytes, size_t offset) {
  return read_u32le(bytes, offset) | (static_cast<uint64_t>(read_u32le(bytes, offset + 4)) << 32);
}

// The trailer's fields that its checksum covers after the block.
TBytes trailer_fields(uint64_t target, uint64_t length) {
  TBytes fields(kTrailerMagic.begin(), kTrailerMagic.end());
  append_u64le(fields, target);
  append_u64le(fields, length);
  return fields;
}

// Offsets in `window` at which `text` starts, lowest first, from `from` on and before `until`;
// at most `limit` of them.
std::vector<uint64_t> occurrences(TByteSpan window, std::string_view text, uint64_t from,
                                  uint64_t until, size_t limit) {
  std::vector<uint64_t> found;
  until = std::min<uint64_t>(until, window.size());
  auto at = window.begin() + static_cast<ptrdiff_t>(std::min(from, until));
  const auto end = window.begin() + static_cast<ptrdiff_t>(until);
  while (found.size() < limit && (at = std::search(at, end, text.begin(), text.end())) != end) {
    found.push_back(static_cast<uint64_t>(at - window.begin()));
    ++at;
  }
  return found;
}

}  // namespace

uint32_t crc32(TByteSpan bytes, uint32_t crc) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> entries{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) {
        value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
      }
      entries[i] = value;
    }
    return entries;
  }();
  crc = ~crc;
  for (uint8_t byte : bytes) {
    crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

TBytes render_save_trailer(uint64_t target, TByteSpan block) {
  TBytes trailer = trailer_fields(target, block.size());
  append_u32le(trailer, crc32(trailer, crc32(block)));
  append_u32le(trailer, 0);
  return trailer;
}

std::optional<TSaveTrailer> parse_save_trailer(TByteSpan bytes) {
  if (bytes.size() != kSaveTrailerBytes || !has_text_at(bytes, 0, kTrailerMagic)) {
    return std::nullopt;
  }
  return TSaveTrailer{read_u64le(bytes, 8), read_u64le(bytes, 16), read_u32le(bytes, 24)};
}

bool save_copy_is_whole(const TSaveTrailer& trailer, TByteSpan block) {
  return block.size() == trailer.length &&
         crc32(trailer_fields(trailer.target, trailer.length), crc32(block)) == trailer.checksum;
}

uint64_t save_copy_offset(uint64_t start, uint64_t block_size, uint64_t file_size) {
  uint64_t offset = std::max(file_size, start + block_size);
  const uint64_t in_page = (offset + block_size) % kPageBytes;
  if (in_page == 0) {
    offset += kSaveTrailerBytes;
  } else if (in_page > kPageBytes - kSaveTrailerBytes) {
    offset += kPageBytes - in_page + kSaveTrailerBytes;
  }
  return offset;
}

std::optional<TTagRegion> find_tag_before_debris(TByteSpan window, uint64_t file_size,
                                                 uint64_t floor, uint64_t audio_end) {
  const uint64_t first = file_size - window.size();
  for (uint64_t footer : occurrences(window, "APETAGEX", 0, window.size(), kMaxFootersTried)) {
    const uint64_t tag_end = footer + kApeTagBlockBytes;
    if (tag_end > window.size()) {
      break;
    }
    // A header ends no tag here: read as the file's last block, it would pass for an empty tag
    // and hide the tag it opens.
    const auto block = parse_ape_tag_block(window.subspan(footer, kApeTagBlockBytes));
    if (block->flags & kApeTagIsHeader) {
      continue;
    }
    // The ends the file may have had: after a Lyrics3v2 block and an ID3v1 tag, after an ID3v1
    // tag, right after the footer. The longest comes first, so that a tail is never dropped.
    std::vector<uint64_t> ends;
    if (has_text_at(window, tag_end, "LYRICSBEGIN")) {
      for (uint64_t lyrics :
           occurrences(window, "LYRICS200", tag_end, tag_end + kLyricsMaxBytes, kMaxFootersTried)) {
        if (window.size() - lyrics >= 9 + kId3v1Bytes && has_text_at(window, lyrics + 9, "TAG")) {
          ends.push_back(lyrics + 9 + kId3v1Bytes);
        }
      }
    }
    std::reverse(ends.begin(), ends.end());
    if (window.size() - tag_end >= kId3v1Bytes && has_text_at(window, tag_end, "TAG")) {
      ends.push_back(tag_end + kId3v1Bytes);
    }
    ends.push_back(tag_end);
    for (uint64_t end : ends) {
      TTagScan scan = scan_tag_region(window.first(end), first + end, floor, audio_end);
      if (scan.complete && scan.region.has_ape && scan.region.trust == TTagTrust::kTrusted &&
          scan.region.tail_start == first + tag_end) {
        return std::move(scan.region);
      }
    }
  }
  return std::nullopt;
}
