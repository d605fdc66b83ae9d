#include "platform/monkeysaudio/core/save_plan.h"

#include <gtest/gtest.h>

#include "tests/monkeysaudio/test_support.h"

namespace {

// A 3.99 stream of two frames, `last_frame` the bytes of the second: descriptor, header, seek
// table, frames. `fill` is the audio's last bytes.
TBytes descriptor_stream(uint32_t frame_bytes, std::string_view fill = "") {
  TBytes out = text_bytes("MAC ") + u32le({3990, 52, 24, 8, 0, frame_bytes, 0, 0}) + TBytes(16, 0) +
               u32le({2000, 73728, 100, 2, 16 | (2u << 16), 44100}) + u32le({84, 85});
  out.resize(out.size() + frame_bytes - fill.size(), 0x5A);
  return out + text_bytes(fill);
}

// Where the audio ends decides which bytes a save may replace: whatever the bytes after it
// claim, a write and a clear leave every audio byte as it was, or change nothing.
TEST(SavePlan, NoSaveTouchesTheAudio) {
  const std::vector<TApeItem> items = {{"Title", 0, "Intro"}};
  const TBytes item = item_bytes(5, 0, "Title", "Intro");  // 19 bytes
  const TBytes v1_tag = item + tag_block(1000, 51, 1, 0);
  const TBytes disowned = tag_block(2000, 51, 1, 0xA0000000) + item + tag_block(2000, 51, 1, 0);
  const std::string footer_text(v1_tag.begin(), v1_tag.end());
  enum TOutcome { kRefused, kReplaced, kUntouched };
  struct TCase {
    const char* name;
    TBytes audio;
    TBytes after;  // the tag region as found
    TOutcome write, clear;
  } cases[] = {
      {"old: APEv2 footer claiming 1000 more", old_stream(3000),
       tag_block(2000, 51, 1, 0xA0000000) + item + tag_block(2000, 51 + 1000, 1, 0x80000000),
       kRefused, kRefused},
      {"old: footer claiming 3000", old_stream(5000), item + tag_block(2000, 3000, 1, 0x80000000),
       kRefused, kRefused},
      {"old: footer alone, items sound", old_stream(300), v1_tag, kReplaced, kReplaced},
      {"3.99: APE footer ending the audio", descriptor_stream(300, footer_text), TBytes(),
       kReplaced, kUntouched},
      {"3.99: header the footer disowns", descriptor_stream(300), disowned, kReplaced, kReplaced},
      {"old: header the footer disowns", old_stream(300), disowned, kReplaced, kReplaced},
      {"3.99: a header left alone", descriptor_stream(300), tag_block(2000, 51, 1, 0xA0000000),
       kReplaced, kReplaced},
  };
  for (const TCase& c : cases) {
    for (bool clear : {false, true}) {
      const TOutcome expected = clear ? c.clear : c.write;
      const TBytes before = c.audio + c.after;
      TBytes image = before;
      const int status = save_tag_image(image, clear ? std::vector<TApeItem>{} : items, clear);
      const char* what = clear ? " (clear)" : " (write)";
      ASSERT_EQ(status == kApeSuccess, expected != kRefused) << c.name << what;
      if (expected == kRefused || expected == kUntouched) {
        EXPECT_EQ(image, before) << c.name << what;
      } else {
        EXPECT_EQ(image, c.audio + (clear ? TBytes{} : render_ape_tag(items))) << c.name << what;
      }
    }
  }
}

// Lyrics are never shown, so no operation may remove them: a clear keeps them with a blank ID3v1
// tag behind them, and clearing again changes nothing.
TEST(SavePlan, LyricsSurviveEveryOperation) {
  SKIP_WITHOUT_FIXTURES();
  const TBytes lyrics = text_bytes("LYRICSBEGIN[00:01]la la000023LYRICS200");
  const TBytes id3v1 = id3v1_bytes("Old title");
  TBytes blank = id3v1_bytes("");
  const std::vector<TApeItem> items = {{"Title", 0, "New"}};
  for (const TBytes& tag : {TBytes{}, render_ape_tag({{"Artist", 0, "Old"}})}) {
    TBytes image = sample_audio() + tag + lyrics + id3v1;
    ASSERT_EQ(save_tag_image(image, items, false), kApeSuccess);
    EXPECT_EQ(image, sample_audio() + render_ape_tag(items) + lyrics + id3v1);
    ASSERT_EQ(save_tag_image(image, {}, true), kApeSuccess);
    EXPECT_EQ(image, sample_audio() + lyrics + blank);
    const auto header = recognise_ape_image(image);
    const TTagRegion region = read_tag_region(image, audio_end_of(*header, image.size()));
    EXPECT_TRUE(region.items.empty());
    TSavePlan plan;
    ASSERT_EQ(plan_tag_save(region, image.size(), {}, true, &plan), kApeSuccess);
    EXPECT_EQ(plan.action, TSaveAction::kNothing);
  }
}

TEST(SavePlan, WholeImageSavesTakeLargeCoversAndRefuseOversizedTagsAndOtherFormats) {
  SKIP_WITHOUT_FIXTURES();
  // A 17 MB cover: real files hold them, and a later write must keep it.
  const std::vector<TApeItem> cover = {
      {"Cover Art (Front)", kApeItemBinary, std::string(17000000, 'j')}};
  TBytes covered = sample_audio();
  ASSERT_EQ(save_tag_image(covered, cover, false), kApeSuccess);
  ASSERT_EQ(save_tag_image(covered, {cover[0], {"Title", 0, "t"}}, false), kApeSuccess);
  EXPECT_EQ(read_tag_region(covered, {172, true}).items.size(), 2u);
  // The tag's read-only flag is the tag's own: a rewrite keeps it.
  TBytes read_only = sample_audio() + render_ape_tag({{"Title", 0, "t"}}, true);
  ASSERT_EQ(save_tag_image(read_only, {{"Year", 0, "1"}}, false), kApeSuccess);
  EXPECT_EQ(read_only, sample_audio() + render_ape_tag({{"Year", 0, "1"}}, true));
  TBytes image = sample_audio();
  EXPECT_EQ(
      save_tag_image(image, {{"Comment", 0, std::string(kApeTagMaxItemBytes + 1, 'c')}}, false),
      kApeErrorInvalidArgument);
  EXPECT_EQ(image, sample_audio());
  TBytes not_ape = text_bytes("RIFF....WAVE") + TBytes(100, 0);
  EXPECT_EQ(save_tag_image(not_ape, {{"Title", 0, "x"}}, false), kApeErrorInvalidFormat);
}

}  // namespace
