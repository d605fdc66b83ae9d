// Tag writing on a file: a sequence of erase, put and save operations decoded from the input,
// followed by the file's bytes, saved through the functions the library's entry points call.
// After every save the file must hold what the byte core plans on the whole image, still be
// recognised as before, read back the fields that were saved, and keep every byte before its tag
// region.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/audio_end_oracle.h"
#include "fuzz/fuzz_file.h"
#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/save_plan.h"
#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/core/tag_region.h"
#include "platform/monkeysaudio/file/tag_file.h"

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

// The tag of a recognised `image` as a whole read gives it.
std::vector<TApeItem> read_whole(const TBytes& image) {
  const auto header = recognise_ape_image(image);
  TTagRegion region = read_tag_region(image, audio_end_of(*header, image.size()));
  keep_id3v1_of_wav_tail(*header, region);
  return region.items;
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

  // Through the functions the entry points call: a file read with its header, and saves of the
  // changes made to its fields.
  const TFuzzFile& file = TFuzzFile::Get();
  file.Write(image);
  TTagFileView view;
  const int status = load_tag_file(file.Path(), true, &view);
  if (status != kApeSuccess && status != kApeErrorInvalidFormat) {
    fail("a file in memory could not be read");
  }
  const bool recognised = status == kApeSuccess;
  uint64_t region_start = view.region.start;
  TTagFields fields(view.region.items);
  for (const TOperation& operation : operations) {
    if (operation.kind == 0) {
      fields.EraseAll();
    } else if (operation.kind == 1) {
      fields.Put(kFields[operation.field], operation.value,
                 operation.field == 7 ? kApeItemBinary : 0);
    } else {
      // What the byte core makes of the whole image: the file layer reads through a window and
      // a walk instead, and writes in place or through its journal, and must give the same
      // bytes, or refuse as this refuses.
      TBytes expected = image;
      std::vector<TApeItem> items;
      int expected_status = kApeErrorInvalidFormat;
      if (recognised) {
        const TTagFields merged = fields.Replayed(read_whole(image));
        items = merged.Items();
        expected_status = save_tag_image(expected, items, merged.Erased());
      }
      TTagFields saved;
      const int saved_status = save_tag_changes(file.Path(), true, fields, &saved);
      const TBytes after = file.Read();
      if (saved_status != kApeSuccess) {
        if (after != image) {
          fail("a refused save leaves the file as it was");
        }
        if (saved_status != expected_status) {
          fail("the file layer refuses a save the byte core makes, or the other way round");
        }
        continue;
      }
      if (expected_status != kApeSuccess || after != expected) {
        fail("the file layer saves other bytes than the byte core plans on the whole image");
      }
      // Judged against where the header and seek table say the audio ends, worked out apart from
      // the library: the library's own idea of its tag's start would judge itself.
      // Judged only where the library found the header at the start, as the oracle does.
      const uint64_t audio = view.header && view.header->magic_offset == 0
                                 ? oracle::audio_end(image.data(), image.size())
                                 : 0;
      if (after.size() < audio ||
          !std::equal(image.begin(), image.begin() + audio, after.begin())) {
        fail("an audio byte changed");
      }
      const uint64_t kept = std::min<uint64_t>(region_start, after.size());
      if (after.size() < region_start ||
          !std::equal(image.begin(), image.begin() + kept, after.begin())) {
        fail("a byte before the tag region changed");
      }
      view = TTagFileView();
      const int again = load_tag_file(file.Path(), true, &view);
      if ((again == kApeSuccess) != recognised) {
        fail("a save changed whether the file is recognised");
      }
      // Removing the last tag may uncover whatever stood before it (a stacked older tag, or
      // bytes that look like one), so only a tag with fields must read back as saved.
      if (!items.empty() && (view.region.trust != TTagTrust::kTrusted ||
                             normalised(read_whole(after)) != normalised(items))) {
        fail("what was saved does not read back");
      }
      image = after;
      region_start = view.region.start;
      fields = TTagFields(view.region.items);
    }
  }
  return 0;
}
