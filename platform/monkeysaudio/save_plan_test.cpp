#include "platform/monkeysaudio/save_plan.h"

#include <gtest/gtest.h>

#include "platform/monkeysaudio/test_support.h"

namespace {

// The smallest sane 3.99 stream: descriptor, header, seek table, WAV header and frames, 172
// bytes of audio in all.
TBytes stream() {
  return read_all(fixture("mutagen/mac-399.ape"));
}

TEST(SavePlan, StepsFollowTheSizeOfTheNewBlock) {
  const std::vector<TApeItem> small = {{"Title", 0, "a"}};
  const std::vector<TApeItem> large = {{"Title", 0, std::string(300, 'a')}};
  const TBytes small_tag = render_ape_tag(small);
  const TBytes large_tag = render_ape_tag(large);
  const TBytes id3 = id3v1_bytes("old");
  struct TCase {
    const char* name;
    TBytes before;  // after the audio
    std::vector<TApeItem> items;
    TSaveAction action;
    TBytes after;
  } cases[] = {
      {"first tag", {}, small, TSaveAction::kWriteInPlace, small_tag},
      {"grow", small_tag, large, TSaveAction::kWriteInPlace, large_tag},
      {"shrink keeps ID3v1", large_tag + id3, small, TSaveAction::kAppendThenMove, small_tag + id3},
      {"remove drops ID3v1 too", small_tag + id3, {}, TSaveAction::kTruncate, {}},
      {"remove nothing", {}, {}, TSaveAction::kNothing, {}},
  };
  for (const TCase& c : cases) {
    TBytes image = stream() + c.before;
    const TTagRegion region = read_tag_region(image, 172);
    TSavePlan plan;
    ASSERT_EQ(plan_tag_save(region, image.size(), c.items, false, &plan), kApeSuccess) << c.name;
    EXPECT_EQ(plan.action, c.action) << c.name;
    EXPECT_EQ(plan.start, 172u) << c.name;
    apply_save_plan(plan, image);
    EXPECT_EQ(image, stream() + c.after) << c.name;
  }
}

TEST(SavePlan, WholeImageSavesRefuseOversizedTagsAndOtherFormats) {
  TBytes image = stream();
  EXPECT_EQ(save_tag_image(image, {{"Comment", 0, std::string((16 << 20) + 1, 'c')}}, false),
            kApeErrorInvalidArgument);
  EXPECT_EQ(image, stream());
  TBytes not_ape = text_bytes("RIFF....WAVE") + TBytes(100, 0);
  EXPECT_EQ(save_tag_image(not_ape, {{"Title", 0, "x"}}, false), kApeErrorInvalidFormat);
}

// A file whose audio was cut short ends before the audio end its header declares; a tag saved
// after its last byte may then lie across that point, and must still read back and rewrite.
TEST(SavePlan, TagsOfFilesCutShortReadBackAfterEverySave) {
  const TBytes whole = stream();
  for (size_t cut : {whole.size() - 1, whole.size() - 39}) {
    TBytes image(whole.begin(), whole.begin() + cut);
    const TBytes audio = image;
    for (const auto& items : {std::vector<TApeItem>{{"Title", 0, std::string(100, 't')}},
                              std::vector<TApeItem>{{"Year", 0, "1"}}}) {
      ASSERT_EQ(save_tag_image(image, items, false), kApeSuccess) << cut;
      const auto header = recognise_ape_image(image);
      ASSERT_TRUE(header) << cut;
      const TTagRegion region = read_tag_region(image, tag_floor(*header), tag_audio_end(*header));
      EXPECT_EQ(region.trust, TTagTrust::kTrusted) << cut;
      EXPECT_EQ(region.items, items) << cut;
      EXPECT_TRUE(std::equal(audio.begin(), audio.end(), image.begin())) << cut;
    }
  }
  // A footer alone that claims bytes of whole audio is still not trusted.
  TBytes image = whole;
  image.resize(image.size() - 10);
  const TBytes rendered = render_ape_tag({{"Title", 0, "x"}});
  const TBytes footer_only(rendered.end() - 32 - 15, rendered.end());
  image.insert(image.end(), footer_only.begin(), footer_only.end());
  const auto header = recognise_ape_image(image);
  ASSERT_TRUE(header);
  EXPECT_NE(read_tag_region(image, tag_floor(*header), tag_audio_end(*header)).trust,
            TTagTrust::kTrusted);
}

}  // namespace
