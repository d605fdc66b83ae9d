// Tag writing on a file image: a sequence of erase, put and save operations decoded from the
// input, followed by the image itself. After every save the image must still be recognised as
// before, read back the fields that were saved, and keep every byte before its tag region.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/audio_end_oracle.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/save_plan.h"
#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/core/tag_region.h"

namespace {

// Says which promise broke before stopping, so a found input explains itself.
[[noreturn]] void fail(const char* why) {
  std::fprintf(stderr, "broken: %s\n", why);
  __builtin_trap();
}

const char* const kFields[] = {"Title", "ARTIST", "album", "Comment",
                               "Year",  "Genre",  "Track", "Cover Art (Front)"};

struct TReader {
  const uint8_t* data;
  size_t size;
  size_t offset = 0;
  uint8_t Byte() { return offset < size ? data[offset++] : 0; }
  std::string Text(size_t length) {
    length = std::min(length, size - offset);
    std::string text(reinterpret_cast<const char*>(data + offset), length);
    offset += length;
    return text;
  }
};

std::vector<std::pair<std::string, std::string>> normalised(const std::vector<TApeItem>& items) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const TApeItem& item : items) {
    std::string key = item.key;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
      return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    out.emplace_back(key, item.value);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TTagRegion read_region(const TBytes& image, bool* recognised) {
  auto header = recognise_ape_image(image);
  *recognised = header.has_value();
  if (!header) {
    return read_tag_region(image, 0);
  }
  return read_tag_region(image, tag_floor(*header), tag_audio_end(*header), header->frames_start);
}

// A save as the file layer makes it reads the tag through a walk that leaves binary values
// unread, replays the changes on it and fills the skipped values into the planned block from
// the file: it must plan what a save from the whole image plans. Chunks of a few bytes make
// small images skip values as a cover makes a file skip them.
void check_walked_save(const TBytes& image, const TTagFields& fields, uint64_t chunk) {
  const auto header = recognise_ape_image(image);
  if (!header) {
    return;
  }
  const TByteSpan bytes(image);
  const uint64_t floor = tag_floor(*header);
  const uint64_t audio_end = tag_audio_end(*header);
  const TFileReader reader = {[bytes](uint64_t offset, uint64_t size, TBytes* out) {
                                out->assign(bytes.begin() + offset, bytes.begin() + offset + size);
                                return true;
                              },
                              chunk};
  uint64_t window = std::min<uint64_t>(bytes.size(), 64);
  TTagScan walked;
  for (;;) {
    walked = scan_tag_region(bytes.last(window), bytes.size(), floor, audio_end,
                             header->frames_start, &reader);
    if (walked.complete) {
      break;
    }
    if (walked.read_failed || walked.needed <= window || walked.needed > bytes.size()) {
      fail("a read round asks for no more than it had, or for more than the file");
    }
    window = walked.needed;
  }
  TTagRegion whole = read_tag_region(image, floor, audio_end, header->frames_start);
  keep_id3v1_of_wav_tail(*header, walked.region);
  keep_id3v1_of_wav_tail(*header, whole);
  const TTagFields from_walk = fields.Replayed(walked.region.items);
  const TTagFields from_whole = fields.Replayed(whole.items);
  TSavePlan walked_plan;
  TSavePlan whole_plan;
  const int walked_status = plan_tag_save(walked.region, bytes.size(), from_walk.Items(),
                                          from_walk.Erased(), &walked_plan);
  const int whole_status =
      plan_tag_save(whole, bytes.size(), from_whole.Items(), from_whole.Erased(), &whole_plan);
  for (const TSavePlan::TUnreadValue& value : walked_plan.unread) {
    if (value.block_at > walked_plan.block.size() ||
        walked_plan.block.size() - value.block_at < value.size || value.file_at > bytes.size() ||
        bytes.size() - value.file_at < value.size) {
      fail("an unread value planned outside the block or the file");
    }
    std::copy_n(bytes.begin() + value.file_at, value.size,
                walked_plan.block.begin() + value.block_at);
  }
  if (walked_status != whole_status || walked_plan.action != whole_plan.action ||
      walked_plan.start != whole_plan.start || walked_plan.block != whole_plan.block) {
    fail("a save from a walked read plans other bytes than a save from the whole image");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TReader reader{data, size};
  struct TOperation {
    uint8_t kind;
    uint8_t field;
    std::string value;
  };
  std::vector<TOperation> operations;
  const int count = reader.Byte() % 8;
  for (int i = 0; i < count; ++i) {
    TOperation operation{static_cast<uint8_t>(reader.Byte() % 3), 0, {}};
    if (operation.kind == 1) {
      operation.field = reader.Byte() % 8;
      operation.value = reader.Text(reader.Byte() * 8u);
    }
    operations.push_back(std::move(operation));
  }
  TBytes image(data + reader.offset, data + size);

  bool recognised = false;
  TTagRegion region = read_region(image, &recognised);
  TTagFields fields(region.items);
  for (const TOperation& operation : operations) {
    if (operation.kind == 0) {
      fields.EraseAll();
    } else if (operation.kind == 1) {
      fields.Put(kFields[operation.field], operation.value,
                 operation.field == 7 ? kApeItemBinary : 0);
    } else {
      check_walked_save(image, fields, 1 + image.size() % 37);
      TBytes saved = image;
      if (save_tag_image(saved, fields.Items(), fields.Erased()) != kApeSuccess) {
        if (saved != image) {
          fail("a refused save leaves the image as it was");
        }
        continue;
      }
      // Judged against where the header and seek table say the audio ends, worked out apart from
      // the library: the library's own idea of its tag's start would judge itself.
      // Judged only where the library found the header at the start, as the oracle does.
      const auto header = recognise_ape_image(image);
      const uint64_t audio =
          header && header->magic_offset == 0 ? oracle::audio_end(image.data(), image.size()) : 0;
      if (saved.size() < audio ||
          !std::equal(image.begin(), image.begin() + audio, saved.begin())) {
        fail("an audio byte changed");
      }
      const uint64_t kept = std::min<uint64_t>(region.start, saved.size());
      if (saved.size() < region.start ||
          !std::equal(image.begin(), image.begin() + kept, saved.begin())) {
        fail("a byte before the tag region changed");
      }
      bool still_recognised = false;
      TTagRegion after = read_region(saved, &still_recognised);
      if (still_recognised != recognised) {
        fail("a save changed whether the file is recognised");
      }
      // Removing the last tag may uncover whatever stood before it (a stacked older tag, or
      // bytes that look like one), so only a tag with fields must read back as saved.
      if (!fields.Items().empty() && (after.trust != TTagTrust::kTrusted ||
                                      normalised(after.items) != normalised(fields.Items()))) {
        fail("what was saved does not read back");
      }
      image = std::move(saved);
      region = std::move(after);
      fields = TTagFields(region.items);
    }
  }
  return 0;
}
