#include "platform/monkeysaudio/core/save_plan.h"

#include <algorithm>

#include "platform/monkeysaudio/core/ape_header.h"
#include "platform/monkeysaudio/core/id3v1.h"
#include "platform/monkeysaudio/core/save_journal.h"

// The largest block plan_tag_save makes: a tag with the largest items area and the largest tail,
// after zeros that are never more than that. The journal of a save must hold its old region
// (one tag region) and recognise its block.
static_assert(2 * (kApeTagMaxItemBytes + 2 * kApeTagBlockBytes +
                   (kTagRegionMaxBytes - kApeTagMaxItemBytes - 64)) <=
                  kSaveMaxBlockBytes,
              "every block the writer makes fits a journal");

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
    if (result.start == region.tail_start && result.block == region.tail) {
      result.action = TSaveAction::kNothing;
    } else {
      result.action = result.start + result.block.size() >= file_size ? TSaveAction::kWriteInPlace
                                                                      : TSaveAction::kWriteThenCut;
    }
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
    result.action = result.start + result.block.size() >= file_size ? TSaveAction::kWriteInPlace
                                                                    : TSaveAction::kWriteThenCut;
  }
  *plan = std::move(result);
  return kApeSuccess;
}

void apply_save_plan(const TSavePlan& plan, TBytes& image) {
  switch (plan.action) {
    case TSaveAction::kNothing:
      return;
    case TSaveAction::kTruncate:
      image.resize(plan.start);
      return;
    case TSaveAction::kWriteInPlace:
    case TSaveAction::kWriteThenCut:
      image.resize(std::max<uint64_t>(image.size(), plan.start + plan.block.size()));
      std::copy(plan.block.begin(), plan.block.end(), image.begin() + plan.start);
      image.resize(plan.start + plan.block.size());
      return;
  }
}

uint64_t tag_floor(const TApeHeader& header) {
  return std::max(header.proven_audio_end, header.junk_reach);
}

uint64_t tag_audio_end(const TApeHeader& header) {
  if (header.descriptor_layout) {
    return header.declared_audio_end;
  }
  // The old layout declares no end; what the seek table proves counts as one only where the file
  // ends before it, so that a save there does not reach it.
  return header.seek_audio_end > header.proven_audio_end ? header.seek_audio_end : 0;
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

int save_tag_image(TBytes& image, const std::vector<TApeItem>& items, bool erased) {
  const auto header = recognise_ape_image(image);
  if (!header) {
    return kApeErrorInvalidFormat;
  }
  TTagRegion region =
      read_tag_region(image, tag_floor(*header), tag_audio_end(*header), header->frames_start);
  keep_id3v1_of_wav_tail(*header, region);
  TSavePlan plan;
  if (int status = plan_tag_save(region, image.size(), items, erased, &plan);
      status != kApeSuccess) {
    return status;
  }
  apply_save_plan(plan, image);
  return kApeSuccess;
}
