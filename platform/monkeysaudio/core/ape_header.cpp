#include "platform/monkeysaudio/core/ape_header.h"

#include <algorithm>

namespace {

constexpr uint16_t kLowestVersion = 3800;
constexpr uint16_t kFirstDescriptorVersion = 3980;
constexpr uint32_t kMinDescriptorBytes = 52;
constexpr uint32_t kMinHeaderBytes = 24;
static_assert(kApeHeaderWindow >= kApeJunkScanLimit + kApeDescriptorMaxBytes + kMinHeaderBytes,
              "a candidate within the scan limit is never cut off by the window, only by the file");
constexpr uint16_t kMaxChannels = 32;
// The frame data size is stored in 64 bits; anything past 2^48 bytes is a damaged header.
constexpr uint32_t kMaxFrameBytesHigh = 0xFFFF;

// Old layout format flags.
constexpr uint16_t kFlag8Bit = 1;
constexpr uint16_t kFlagPeakLevel = 4;
constexpr uint16_t kFlag24Bit = 8;
constexpr uint16_t kFlagSeekCount = 16;
constexpr uint16_t kFlagNoWavHeader = 32;
constexpr uint16_t kFirstFramesWithoutBitTable = 3810;

// What a candidate's verdict rested on: the file offset one past the last byte it read, or
// kCutOff when it needed bytes past the end of the file (which a save could then supply).
constexpr uint64_t kCutOff = UINT64_MAX;

bool has_magic(TByteSpan bytes) {
  return has_text_at(bytes, 0, "MAC ") || has_text_at(bytes, 0, "MACF");
}

// The stream's format must be sound; its frames need not be: a file that was never finalised
// declares none, and a trimmed one keeps its frame count over an empty seek table. Neither stops
// a tag from being located, since that rests on where the audio ends, not on decoding it.
bool is_sane_stream(const TApeHeader& header) {
  const uint16_t bits = header.bits_per_sample;
  const bool frames_sane =
      header.total_frames == 0 || (header.blocks_per_frame >= 1 && header.final_frame_blocks >= 1 &&
                                   header.final_frame_blocks <= header.blocks_per_frame);
  return frames_sane && header.channels >= 1 && header.channels <= kMaxChannels &&
         header.sample_rate > 0 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

std::optional<TApeHeader> parse_descriptor_layout(TByteSpan bytes, TApeHeader header,
                                                  uint64_t file_size, uint64_t* reach) {
  // Only the bytes read decide: a candidate refused for its sizes stays refused however short
  // the file is cut after them.
  constexpr size_t kSizeFieldsBytes = 36;
  *reach = kCutOff;
  if (bytes.size() < kSizeFieldsBytes) {
    return std::nullopt;
  }
  *reach = header.magic_offset + kSizeFieldsBytes;
  const uint32_t descriptor_bytes = read_u32le(bytes, 8);
  const uint32_t header_bytes = read_u32le(bytes, 12);
  const uint32_t seek_table_bytes = read_u32le(bytes, 16);
  const uint32_t header_data_bytes = read_u32le(bytes, 20);
  const uint32_t frame_bytes_low = read_u32le(bytes, 24);
  const uint32_t frame_bytes_high = read_u32le(bytes, 28);
  const uint32_t terminating_bytes = read_u32le(bytes, 32);
  if (descriptor_bytes < kMinDescriptorBytes || descriptor_bytes > kApeDescriptorMaxBytes ||
      header_bytes < kMinHeaderBytes || header_bytes > kApeHeaderFieldsMaxBytes ||
      frame_bytes_high > kMaxFrameBytesHigh) {
    return std::nullopt;
  }
  if (bytes.size() < uint64_t{descriptor_bytes} + kMinHeaderBytes) {
    *reach = kCutOff;
    return std::nullopt;
  }
  *reach = header.magic_offset + descriptor_bytes + kMinHeaderBytes;
  const TByteSpan fields = bytes.subspan(descriptor_bytes);
  header.compression_level = read_u16le(fields, 0);
  header.blocks_per_frame = read_u32le(fields, 4);
  header.final_frame_blocks = read_u32le(fields, 8);
  header.total_frames = read_u32le(fields, 12);
  header.bits_per_sample = read_u16le(fields, 16);
  header.channels = read_u16le(fields, 18);
  header.sample_rate = read_u32le(fields, 20);
  header.header_end = header.magic_offset + descriptor_bytes + header_bytes;
  if (!is_sane_stream(header)) {
    return std::nullopt;
  }
  if (header.header_end > file_size) {
    *reach = kCutOff;
    return std::nullopt;
  }
  // Every term is below 2^48, so the sums cannot overflow 64 bits.
  header.frames_start = header.header_end + seek_table_bytes + header_data_bytes;
  header.declared_audio_end = header.frames_start +
                              ((uint64_t{frame_bytes_high} << 32) | frame_bytes_low) +
                              terminating_bytes;
  return header;
}

std::optional<TApeHeader> parse_old_layout(TByteSpan bytes, TApeHeader header, uint64_t file_size,
                                           uint64_t* reach) {
  constexpr size_t kFixedBytes = 32;
  *reach = kCutOff;
  if (bytes.size() < kFixedBytes) {
    return std::nullopt;
  }
  *reach = header.magic_offset + kFixedBytes;
  header.compression_level = read_u16le(bytes, 6);
  const uint16_t flags = read_u16le(bytes, 8);
  header.channels = read_u16le(bytes, 10);
  header.sample_rate = read_u32le(bytes, 12);
  const uint32_t wav_header_bytes = (flags & kFlagNoWavHeader) ? 0 : read_u32le(bytes, 16);
  header.terminating_bytes = read_u32le(bytes, 20);
  header.total_frames = read_u32le(bytes, 24);
  header.final_frame_blocks = read_u32le(bytes, 28);
  header.bits_per_sample = (flags & kFlag8Bit) ? 8 : (flags & kFlag24Bit) ? 24 : 16;
  if (header.version >= 3950) {
    header.blocks_per_frame = 73728 * 4;
  } else if (header.version >= 3900 || header.compression_level >= 4000) {
    header.blocks_per_frame = 73728;
  } else {
    header.blocks_per_frame = 9216;
  }
  size_t size = kFixedBytes;
  if (flags & kFlagPeakLevel) {
    size += 4;
  }
  if (!is_sane_stream(header)) {
    return std::nullopt;
  }
  uint32_t seek_entries = header.total_frames;
  if (flags & kFlagSeekCount) {
    if (bytes.size() < size + 4) {
      *reach = kCutOff;
      return std::nullopt;
    }
    seek_entries = read_u32le(bytes, size);
    size += 4;
  }
  header.header_end = header.magic_offset + size;
  if (bytes.size() < size || header.header_end > file_size) {
    *reach = kCutOff;
    return std::nullopt;
  }
  // The stored WAV header, the seek table, and before 3.81 one byte per frame.
  const uint64_t seek_table = header.header_end + wav_header_bytes;
  header.frames_start = seek_table + uint64_t{seek_entries} * 4 +
                        (header.version < kFirstFramesWithoutBitTable ? header.total_frames : 0);
  if (header.total_frames >= 1 && seek_entries >= header.total_frames) {
    header.last_seek_entry_at = seek_table + uint64_t{header.total_frames - 1} * 4;
  }
  return header;
}

// A header whose magic is at bytes[0] and which sits at `magic_offset` in a file of `file_size`
// bytes; nothing when the magic is absent, the header is cut off by the end of `bytes` or of the
// file, or a field fails a sanity check. *reach tells what a refusal rested on.
std::optional<TApeHeader> parse_candidate(TByteSpan bytes, uint64_t magic_offset,
                                          uint64_t file_size, uint64_t* reach) {
  *reach = 0;
  if (bytes.size() < 4 || !has_magic(bytes) || magic_offset > file_size) {
    return std::nullopt;
  }
  *reach = kCutOff;
  if (bytes.size() < 6) {
    return std::nullopt;
  }
  *reach = magic_offset + 6;
  TApeHeader header;
  header.magic_offset = magic_offset;
  header.version = read_u16le(bytes, 4);
  if (header.version < kLowestVersion) {
    return std::nullopt;
  }
  header.descriptor_layout = header.version >= kFirstDescriptorVersion;
  return header.descriptor_layout ? parse_descriptor_layout(bytes, header, file_size, reach)
                                  : parse_old_layout(bytes, header, file_size, reach);
}

// The first sane header at or after window[0], which lies at `window_offset` in the file; none
// when a candidate before it is cut off by the end of the file (the file's header, cut off).
std::optional<TApeHeader> find_ape_header(TByteSpan window, uint64_t window_offset,
                                          uint64_t file_size) {
  // What a save writes must not change which candidate wins: one that the end of the file cuts
  // off could be completed by a tag appended there, so it ends the search without a header; the
  // bytes that refused the others are kept out of the tag region (junk_reach).
  const size_t last = std::min<uint64_t>(window.size(), kApeJunkScanLimit + 1);
  uint64_t junk_reach = 0;
  for (size_t i = 0; i < last; ++i) {
    if (window[i] != 'M') {
      continue;
    }
    uint64_t reach = 0;
    if (auto header = parse_candidate(window.subspan(i), window_offset + i, file_size, &reach)) {
      header->junk_reach = junk_reach;
      return header;
    }
    if (reach == kCutOff) {
      return std::nullopt;
    }
    junk_reach = std::max(junk_reach, reach);
  }
  return std::nullopt;
}

}  // namespace

uint64_t id3v2_prefix_length(TByteSpan bytes) {
  constexpr size_t kHeaderBytes = 10;
  if (bytes.size() < kHeaderBytes || !has_text_at(bytes, 0, "ID3") || bytes[3] == 0xFF ||
      bytes[4] == 0xFF) {
    return 0;
  }
  uint64_t body = 0;
  for (size_t i = 6; i < 10; ++i) {
    if (bytes[i] & 0x80) {
      return 0;
    }
    body = (body << 7) | bytes[i];
  }
  const bool has_footer = (bytes[5] & 0x10) != 0;
  return kHeaderBytes + body + (has_footer ? kHeaderBytes : 0);
}

std::optional<TApeHeader> read_ape_header(const TFileReader& reader, uint64_t file_size,
                                          bool* read_failed) {
  *read_failed = false;
  TBytes bytes;
  auto fetch = [&](uint64_t offset, uint64_t size) {
    *read_failed = !reader.read(offset, size, &bytes);
    return !*read_failed;
  };
  if (!fetch(0, std::min(file_size, kFirstReadBytes))) {
    return std::nullopt;
  }
  const uint64_t skip = id3v2_prefix_length(bytes);
  if (skip >= file_size) {
    return std::nullopt;
  }
  if (skip > 0 && !fetch(skip, std::min(file_size - skip, kFirstReadBytes))) {
    return std::nullopt;
  }
  // Most files hold their header at once; junk before it costs one larger read.
  uint64_t reach = 0;
  auto header = parse_candidate(bytes, skip, file_size, &reach);
  if (!header && file_size - skip > bytes.size() &&
      !fetch(skip, std::min(file_size - skip, kApeHeaderWindow))) {
    return std::nullopt;
  }
  if (!header) {
    header = find_ape_header(bytes, skip, file_size);
  }
  const uint64_t entry = header ? header->last_seek_entry_at : 0;
  if (entry != 0 && file_size >= 4 && entry <= file_size - 4) {
    if (!fetch(entry, 4)) {
      return std::nullopt;
    }
    header->last_frame_at = header->magic_offset + read_u32le(bytes, 0);
  }
  return header;
}

std::optional<TApeHeader> recognise_ape_image(TByteSpan image) {
  const TFileReader reader = {[image](uint64_t offset, uint64_t size, TBytes* out) {
    out->assign(image.begin() + offset, image.begin() + offset + size);
    return true;
  }};
  bool read_failed = false;
  return read_ape_header(reader, image.size(), &read_failed);
}

TAudioEnd audio_end_of(const TApeHeader& header, uint64_t file_size) {
  // The old layout declares no end; its seek table proves one when the last entry points past
  // the frames' start.
  uint64_t declared = header.declared_audio_end;
  if (!header.descriptor_layout) {
    declared = header.last_frame_at >= header.frames_start
                   ? header.last_frame_at + header.terminating_bytes
                   : 0;
  }
  TAudioEnd end;
  // In a file that ends before its frames do (cut short inside its seek table), the end of the
  // header: a tag saved after such a file's last byte must read back.
  uint64_t proven = header.frames_start <= file_size ? header.frames_start : header.header_end;
  if (declared != 0 && declared <= file_size) {
    proven = declared;
    end.declared_end_held = header.descriptor_layout;
  } else if (declared > file_size) {
    end.missing_audio_end = declared;
  }
  end.tag_floor = std::min(std::max(proven, header.junk_reach), file_size);
  end.missing_frames_start = header.frames_start > file_size ? header.frames_start : 0;
  return end;
}
