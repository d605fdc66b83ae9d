#include "platform/monkeysaudio/core/tag_region.h"

#include <algorithm>
#include <optional>

#include "platform/monkeysaudio/core/id3v1.h"

namespace {

// The window as a view of the file: byte offsets are file offsets.
class TFileEnd {
 public:
  TFileEnd(TByteSpan window, uint64_t file_size)
      : fWindow(window), fFileSize(file_size), fFirst(file_size - window.size()) {}

  uint64_t FileSize() const { return fFileSize; }
  // True when [offset, offset + size) lies in the window; otherwise remembers how much more of
  // the file's end is needed, when the range lies in the file at all.
  bool Covers(uint64_t offset, uint64_t size) {
    if (offset > fFileSize || fFileSize - offset < size) {
      return false;
    }
    if (offset < fFirst) {
      fNeeded = std::max(fNeeded, fFileSize - offset);
      return false;
    }
    return true;
  }
  TByteSpan Bytes(uint64_t offset, uint64_t size) const {
    return fWindow.subspan(offset - fFirst, size);
  }
  // True when [offset, offset + size) lies in the window; asks for nothing otherwise.
  bool Holds(uint64_t offset, uint64_t size) const {
    return offset >= fFirst && offset <= fFileSize && fFileSize - offset >= size;
  }
  bool HasText(uint64_t offset, std::string_view text) {
    return Covers(offset, text.size()) && has_text_at(Bytes(offset, text.size()), 0, text);
  }
  uint64_t Needed() const { return fNeeded; }

 private:
  TByteSpan fWindow;
  uint64_t fFileSize;
  uint64_t fFirst;
  uint64_t fNeeded = 0;
};

// The bytes of an APE tag before its footer (`end`), its header included, taken from the window
// where it holds them, otherwise read a chunk at a time through `reader`. As an items source,
// offsets count from `items_start`.
class TChunkedTag final : public TItemsSource {
 public:
  TChunkedTag(const TFileEnd& window, const TFileReader& reader, uint64_t items_start, uint64_t end)
      : fWindow(window), fReader(reader), fItemsStart(items_start), fEnd(end) {}

  uint64_t Size() const override { return fEnd - fItemsStart; }
  TByteSpan Bytes(uint64_t offset, uint64_t size) override {
    return FileBytes(fItemsStart + offset, size);
  }
  TByteSpan From(uint64_t offset) override {
    const uint64_t at = fItemsStart + offset;
    if (!HoldsAt(at, 1) && !ReadChunk(at, 1)) {
      return {};
    }
    const uint64_t held_end =
        fWindow.Holds(at, 1) ? fWindow.FileSize() : fChunkStart + fChunk.size();
    return FileBytes(at, std::min(held_end, fEnd) - at);
  }
  bool Holds(uint64_t offset, uint64_t size) const override {
    return HoldsAt(fItemsStart + offset, size);
  }

  // [at, at + size) of the file, which lies before the footer; empty when it cannot be read.
  TByteSpan FileBytes(uint64_t at, uint64_t size) {
    if (fWindow.Holds(at, size)) {
      return fWindow.Bytes(at, size);
    }
    if (!InChunk(at, size) && !ReadChunk(at, size)) {
      return {};
    }
    return TByteSpan(fChunk).subspan(at - fChunkStart, size);
  }

 private:
  bool InChunk(uint64_t at, uint64_t size) const {
    return at >= fChunkStart && at - fChunkStart <= fChunk.size() &&
           fChunk.size() - (at - fChunkStart) >= size;
  }
  bool HoldsAt(uint64_t at, uint64_t size) const {
    return fWindow.Holds(at, size) || InChunk(at, size);
  }
  bool ReadChunk(uint64_t at, uint64_t size) {
    fChunkStart = at;
    if (!fReader.read(at, std::min(std::max(size, fReader.chunk_bytes), fEnd - at), &fChunk)) {
      fChunk.clear();
      return false;
    }
    return true;
  }

  const TFileEnd& fWindow;
  const TFileReader& fReader;
  uint64_t fItemsStart;
  uint64_t fEnd;
  uint64_t fChunkStart = 0;
  TBytes fChunk;
};

// Start of a Lyrics3v2 block ending at `end`, or `end` when there is none.
uint64_t lyrics3_start(TFileEnd& file, uint64_t end, uint64_t floor) {
  if (end < floor || end - floor < kLyrics3EndBytes || !file.HasText(end - 9, "LYRICS200") ||
      !file.Covers(end - kLyrics3EndBytes, 6)) {
    return end;
  }
  uint64_t size = 0;
  for (uint8_t digit : file.Bytes(end - kLyrics3EndBytes, 6)) {
    if (digit < '0' || digit > '9') {
      return end;
    }
    size = size * 10 + (digit - '0');
  }
  if (size > kLyrics3MaxSize || end - floor - kLyrics3EndBytes < size) {
    return end;
  }
  const uint64_t start = end - kLyrics3EndBytes - size;
  return file.HasText(start, "LYRICSBEGIN") ? start : end;
}

// Where the tag region may lie in a file: nothing before `floor`. Without an audio end the
// file holds, a footer alone proves its tag's extent only when every byte of the items it
// claims parses as items.
struct TBounds {
  uint64_t floor;
  bool end_known;
};

bool is_tag_block(const std::optional<TApeTagBlock>& block) {
  return block && (block->version == kApeTagVersion1 || block->version == kApeTagVersion2);
}

// Whether the block at `footer`, flagged as a header, ends items that parse whole and number
// what it says: only then is it read as a footer. The count is checked too, since bytes taken
// for items are rewritten by a save; a real header left alone at the end rarely passes both.
bool footer_flagged_as_header(TFileEnd& file, uint64_t footer, const TApeTagBlock& block) {
  const uint64_t items_start = footer + kApeTagBlockBytes - block.tag_size;
  const auto parse = parse_ape_items(file.Bytes(items_start, footer - items_start), block.version);
  return parse.sound && parse.items.size() == block.item_count;
}

// Fills the APE part of `region` for a footer at `footer`. Returns false when more bytes are
// needed, or when `reader` (if any) failed (`read_failed`).
bool read_ape_tag(TFileEnd& file, uint64_t footer, const TBounds& bounds, const TFileReader* reader,
                  TTagRegion& region, bool* read_failed) {
  const auto block = parse_ape_tag_block(file.Bytes(footer, kApeTagBlockBytes));
  region.has_ape = true;
  region.ape_version = block->version;
  region.ape_read_only = block->version == kApeTagVersion2 && (block->flags & kApeTagReadOnly);
  region.tail_start = footer + kApeTagBlockBytes;
  region.trust = TTagTrust::kExtentDamaged;
  const uint64_t available = region.tail_start - bounds.floor;
  const bool sized = is_tag_block(block) && block->tag_size >= kApeTagBlockBytes &&
                     block->tag_size - kApeTagBlockBytes <= kApeTagMaxItemBytes &&
                     block->tag_size <= available;
  if (block && (block->flags & kApeTagIsHeader)) {
    // Flagged as a header where the footer belongs. Some writers flag their footer so: when the
    // bytes before it are exactly the items it counts, it is that tag's footer. Otherwise it is
    // the header of a tag whose footer is gone (a rewrite that lost track of it): it belongs to
    // no audio, and replacing it loses nothing.
    if (sized && !file.Covers(region.tail_start - block->tag_size, block->tag_size)) {
      return false;
    }
    if (!sized || !footer_flagged_as_header(file, footer, *block)) {
      region.start = footer;
      region.trust = TTagTrust::kTrusted;
      return true;
    }
  } else if (!sized) {
    return true;
  }
  const uint64_t items_start = region.tail_start - block->tag_size;
  region.start = items_start;
  bool header_confirmed = false;
  // Through the reader only what the window lacks: a tag it holds whole is parsed from it.
  std::optional<TChunkedTag> chunked;
  if (reader != nullptr && !file.Holds(items_start, block->tag_size)) {
    chunked.emplace(file, *reader, items_start, footer);
  }
  // The header is looked for whether or not the footer says there is one: a header the footer
  // disowns would otherwise outlive every rewrite.
  if (items_start - bounds.floor >= kApeTagBlockBytes) {
    const uint64_t header_start = items_start - kApeTagBlockBytes;
    TByteSpan header_bytes;
    if (chunked) {
      // One read for the header and the first items.
      header_bytes = chunked->FileBytes(header_start, kApeTagBlockBytes);
      if (header_bytes.empty()) {
        *read_failed = true;
        return false;
      }
    } else if (!file.Covers(header_start, kApeTagBlockBytes)) {
      return false;
    } else {
      header_bytes = file.Bytes(header_start, kApeTagBlockBytes);
    }
    const auto header = parse_ape_tag_block(header_bytes);
    // A flag alone is not enough: cutting 32 bytes of audio for a lying flag is not an option.
    if (header && header->version == block->version && header->tag_size == block->tag_size &&
        header->item_count == block->item_count && (header->flags & kApeTagIsHeader)) {
      region.start = header_start;
      header_confirmed = true;
    } else if (header) {
      // A damaged header still belongs to its tag: left behind, it would end the file once the
      // tag is removed. It proves nothing about the tag's extent, though.
      region.start = header_start;
    }
  }
  TApeItemsParse parse;
  if (chunked) {
    parse = parse_ape_items(*chunked, block->version);
    if (parse.read_failed) {
      *read_failed = true;
      return false;
    }
    for (TApeItem& item : parse.items) {
      if (item.IsUnread()) {
        item.value_at += items_start;
      }
    }
  } else if (!file.Covers(items_start, block->tag_size)) {
    return false;
  } else {
    parse = parse_ape_items(file.Bytes(items_start, footer - items_start), block->version);
  }
  region.items = std::move(parse.items);
  if (parse.sound) {
    region.trust = TTagTrust::kTrusted;
  } else if (bounds.end_known || header_confirmed) {
    region.trust = TTagTrust::kItemsDamaged;
  }
  return true;
}

}  // namespace

TTagScan scan_tag_region(TByteSpan window, uint64_t file_size, const TAudioEnd& audio_end,
                         const TFileReader* reader) {
  TTagScan scan;
  if (window.size() > file_size) {
    window = window.last(file_size);
  }
  const uint64_t floor = std::min(audio_end.tag_floor, file_size);
  const TBounds bounds{floor, audio_end.declared_end_held};
  TFileEnd file(window, file_size);
  TTagRegion& region = scan.region;
  region.start = region.tail_start = file_size;
  region.missing_frames_start = audio_end.missing_frames_start;
  region.missing_audio_end = audio_end.missing_audio_end;

  uint64_t tail_start = file_size;
  uint64_t footer = 0;
  bool has_footer = false;
  if (file_size - floor >= kApeTagBlockBytes && file.HasText(file_size - 32, "APETAGEX")) {
    footer = file_size - kApeTagBlockBytes;
    has_footer = true;
  } else if (file_size - floor >= kId3v1Bytes && file.HasText(file_size - kId3v1Bytes, "TAG")) {
    region.has_id3v1 = true;
    tail_start = lyrics3_start(file, file_size - kId3v1Bytes, floor);
    region.has_lyrics3 = tail_start != file_size - kId3v1Bytes;
    if (tail_start - floor >= kApeTagBlockBytes &&
        file.HasText(tail_start - kApeTagBlockBytes, "APETAGEX")) {
      footer = tail_start - kApeTagBlockBytes;
      has_footer = true;
    }
  }
  if (file.Needed() > 0) {
    scan.needed = file.Needed();
    return scan;
  }
  region.start = region.tail_start = tail_start;
  if (has_footer && !read_ape_tag(file, footer, bounds, reader, region, &scan.read_failed)) {
    scan.needed = file.Needed();
    return scan;
  }
  region.tail.assign(window.end() - (file_size - region.tail_start), window.end());
  if (!region.has_ape && region.has_id3v1) {
    region.items = parse_id3v1(file.Bytes(file_size - kId3v1Bytes, kId3v1Bytes));
    region.items_from_id3v1 = true;
  }
  scan.complete = true;
  return scan;
}

TTagRegion read_tag_region(TByteSpan image, const TAudioEnd& audio_end) {
  return scan_tag_region(image, image.size(), audio_end).region;
}

bool read_file_tag(const TFileReader& reader, uint64_t file_size, const TApeHeader* header,
                   TTagRegion* region) {
  const TAudioEnd audio_end = header ? audio_end_of(*header, file_size) : TAudioEnd{};
  // Each round reads what the structure found so far points at (a Lyrics3v2 block, then the APE
  // tag before it); the window only grows and never passes the file's start.
  TBytes window;
  uint64_t window_size = std::min(file_size, kFirstReadBytes);
  for (;;) {
    if (!reader.read(file_size - window_size, window_size, &window)) {
      return false;
    }
    TTagScan scan = scan_tag_region(window, file_size, audio_end, &reader);
    if (scan.read_failed) {
      return false;
    }
    if (scan.complete) {
      *region = std::move(scan.region);
      if (header) {
        keep_id3v1_of_wav_tail(*header, *region);
      }
      return true;
    }
    if (scan.needed <= window_size || scan.needed > file_size) {
      return false;
    }
    window_size = scan.needed;
  }
}

void keep_id3v1_of_wav_tail(const TApeHeader& header, TTagRegion& region) {
  if (header.descriptor_layout || header.terminating_bytes < kId3v1Bytes || !region.has_id3v1 ||
      region.has_ape || region.has_lyrics3) {
    return;
  }
  const uint64_t end = region.tail_start + region.tail.size();
  TTagRegion audio;
  audio.start = audio.tail_start = end;
  audio.missing_frames_start = region.missing_frames_start;
  audio.missing_audio_end = region.missing_audio_end;
  region = std::move(audio);
}
