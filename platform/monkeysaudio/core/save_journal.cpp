#include "platform/monkeysaudio/core/save_journal.h"

#include <array>
#include <string_view>

namespace {

constexpr std::string_view kJournalMagic = "QLTJRNL\n";
constexpr uint32_t kJournalVersion = 1;
constexpr size_t kChecksumAt = 92;
static_assert(kChecksumAt + 4 == kJournalHeaderBytes, "the checksum ends the record's header");

void append_u64le(TBytes& out, uint64_t value) {
  append_u32le(out, static_cast<uint32_t>(value));
  append_u32le(out, static_cast<uint32_t>(value >> 32));
}

uint64_t read_u64le(TByteSpan bytes, size_t offset) {
  return read_u32le(bytes, offset) | (static_cast<uint64_t>(read_u32le(bytes, offset + 4)) << 32);
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

std::string journal_path(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name) + "." + path.substr(name) + ".quillet-journal";
}

TBytes render_journal_header(const TJournalRecord& record) {
  TBytes out(kJournalMagic.begin(), kJournalMagic.end());
  append_u32le(out, kJournalVersion);
  append_u32le(out, static_cast<uint32_t>(kJournalHeaderBytes));
  for (uint64_t value : {record.device, record.inode, record.anchor, record.target, record.old_size,
                         record.new_size}) {
    append_u64le(out, value);
  }
  for (uint32_t value : {record.before_bytes, record.before_crc, record.head_bytes, record.head_crc,
                         record.new_crc, record.old_crc, uint32_t{0}}) {
    append_u32le(out, value);
  }
  append_u32le(out, crc32(out));
  return out;
}

std::optional<TJournalRecord> parse_journal_header(TByteSpan header) {
  if (header.size() != kJournalHeaderBytes || !has_text_at(header, 0, kJournalMagic) ||
      read_u32le(header, 8) != kJournalVersion || read_u32le(header, 12) != kJournalHeaderBytes ||
      read_u32le(header, kChecksumAt) != crc32(header.first(kChecksumAt))) {
    return std::nullopt;
  }
  TJournalRecord record;
  record.device = read_u64le(header, 16);
  record.inode = read_u64le(header, 24);
  record.anchor = read_u64le(header, 32);
  record.target = read_u64le(header, 40);
  record.old_size = read_u64le(header, 48);
  record.new_size = read_u64le(header, 56);
  record.before_bytes = read_u32le(header, 64);
  record.before_crc = read_u32le(header, 68);
  record.head_bytes = read_u32le(header, 72);
  record.head_crc = read_u32le(header, 76);
  record.new_crc = read_u32le(header, 80);
  record.old_crc = read_u32le(header, 84);
  // Coherent numbers only: a record written by this library never breaks these, and every later
  // computation on them stays free of overflow.
  if (record.target > record.old_size || record.target > record.new_size ||
      record.old_size - record.target > kTagRegionMaxBytes ||
      record.new_size - record.target > kSaveMaxBlockBytes ||
      record.before_bytes > kJournalSpanBytes || record.before_bytes > record.target ||
      record.head_bytes > kJournalSpanBytes || record.head_bytes > record.target ||
      (record.anchor != kJournalNoAnchor && record.anchor > (uint64_t{1} << 62))) {
    return std::nullopt;
  }
  return record;
}
