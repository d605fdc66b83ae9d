#include "platform/monkeysaudio/core/save_plan.h"

#include <algorithm>

#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/id3v1.h"
#include "platform/monkeysaudio/core/save_journal.h"

namespace {

// A Lyrics3v2 block and its ID3v1 tag with every ID3v1 field blank.
TBytes without_fields(const TBytes& tail) {
  TBytes out(tail.begin(), tail.end() - kId3v1Bytes);
  const size_t id3v1 = out.size();
  out.resize(id3v1 + kId3v1Bytes, 0);
  std::copy_n("TAG", 3, out.begin() + id3v1);
  out.back() = 0xFF;  // no genre
  return out;
}

// A block that would reach the declared end of cut-short audio (or the end the old layout's
// seek table proves) starts there instead, the missing audio written as zeros: once the file
// holds that point, anything before it reads as audio, and a tag there would be lost to every
// reader. The zeros are never more than the block, and only bytes past the old end of the file,
// or of our own tag, change. A file cut short before its frames start cannot take a block that
// reaches them: the seek table it would complete decides where its audio ends. Returns false
// then.
bool reach_no_missing_audio(const TTagRegion& region, TSavePlan& plan) {
  const uint64_t frames = region.missing_frames_start;
  if (frames > plan.start && plan.block.size() >= frames - plan.start) {
    return false;
  }
  const uint64_t end = region.missing_audio_end;
  if (end > plan.start && plan.block.size() >= end - plan.start) {
    plan.block.insert(plan.block.begin(), end - plan.start, 0);
  }
  return true;
}

void apply_save_plan(const TSavePlan& plan, TBytes& image) {
  switch (plan.action) {
    case TSaveAction::kNothing:
      return;
    case TSaveAction::kTruncate:
      image.resize(plan.start);
      return;
    case TSaveAction::kWrite:
      image.resize(std::max<uint64_t>(image.size(), plan.start + plan.block.size()));
      std::copy(plan.block.begin(), plan.block.end(), image.begin() + plan.start);
      image.resize(plan.start + plan.block.size());
      return;
  }
}

}  // namespace

int plan_tag_save(const TTagRegion& region, uint64_t file_size, const std::vector<TApeItem>& items,
                  bool erased, TSavePlan* plan) {
  if (region.trust == TTagTrust::kExtentDamaged ||
      (region.trust == TTagTrust::kItemsDamaged && !erased)) {
    return kApeErrorBadTag;
  }
  uint64_t items_bytes = 0;
  for (const TApeItem& item : items) {
    items_bytes += item.StoredBytes();
  }
  if (items_bytes > kApeTagMaxItemBytes || items.size() > kApeTagMaxItems) {
    return kApeErrorInvalidArgument;
  }
  TSavePlan result;
  result.start = region.start;
  result.old_size = file_size;
  if (items.empty() && region.has_lyrics3) {
    // Lyrics are shown by nothing here, so nothing here may remove them: they stay, with an
    // ID3v1 tag behind them (where readers look for them) whose fields are blank.
    result.block = without_fields(region.tail);
    if (!reach_no_missing_audio(region, result)) {
      return kApeErrorBadTag;
    }
    result.action = result.start == region.tail_start && result.block == region.tail
                        ? TSaveAction::kNothing
                        : TSaveAction::kWrite;
  } else if (items.empty()) {
    result.action = region.start < file_size ? TSaveAction::kTruncate : TSaveAction::kNothing;
  } else {
    result.block = render_ape_tag(items, region.ape_read_only);
    result.block.insert(result.block.end(), region.tail.begin(), region.tail.end());
    const uint64_t rendered = result.block.size();
    if (!reach_no_missing_audio(region, result)) {
      return kApeErrorBadTag;
    }
    // Zeros put before the tag move its values along.
    uint64_t at = result.block.size() - rendered + kApeTagBlockBytes;
    for (const TApeItem& item : items) {
      if (item.IsUnread()) {
        result.unread.push_back({at + 9 + item.key.size(), item.value_at, item.unread_bytes});
      }
      at += item.StoredBytes();
    }
    result.action = TSaveAction::kWrite;
  }
  *plan = std::move(result);
  return kApeSuccess;
}

int save_tag_image(TBytes& image, const std::vector<TApeItem>& items, bool erased) {
  const auto header = recognise_ape_image(image);
  if (!header) {
    return kApeErrorInvalidFormat;
  }
  TTagRegion region = read_tag_region(image, audio_end_of(*header, image.size()));
  keep_id3v1_of_wav_tail(*header, region);
  TSavePlan plan;
  if (int status = plan_tag_save(region, image.size(), items, erased, &plan);
      status != kApeSuccess) {
    return status;
  }
  apply_save_plan(plan, image);
  return kApeSuccess;
}
