#include "platform/monkeysaudio/save_copy.h"

#include <gtest/gtest.h>

#include "platform/monkeysaudio/tag_fields.h"
#include "platform/monkeysaudio/test_support.h"

namespace {

TEST(SaveCopy, TrailerHoldsOnlyForTheWholeBlockAtItsPlace) {
  const TBytes block = render_ape_tag({{"Title", 0, "new"}}) + id3v1_bytes("tail");
  const auto trailer = parse_save_trailer(render_save_trailer(4096, block));
  ASSERT_TRUE(trailer);
  EXPECT_EQ(trailer->target, 4096u);
  EXPECT_TRUE(save_copy_is_whole(*trailer, block));
  TBytes flipped = block;
  flipped[block.size() / 2] ^= 1;
  TBytes zeroed = block;
  std::fill(zeroed.begin() + 32, zeroed.end() - 32, 0);
  const TSaveTrailer elsewhere{trailer->target + 1, trailer->length, trailer->checksum};
  EXPECT_FALSE(save_copy_is_whole(*trailer, flipped));
  EXPECT_FALSE(save_copy_is_whole(*trailer, zeroed));
  EXPECT_FALSE(save_copy_is_whole(*trailer, TByteSpan(block).first(block.size() - 1)));
  EXPECT_FALSE(save_copy_is_whole(elsewhere, block));
  EXPECT_FALSE(parse_save_trailer(TByteSpan(render_save_trailer(0, block)).first(31)));
}

// The copy lies past the old end and past the new block, and its last byte shares a page with
// the trailer, for blocks ending anywhere in a page.
TEST(SaveCopy, CopyOverlapsNeitherBlockAndKeepsItsEndWithItsTrailer) {
  struct TCase {
    uint64_t start, block_size, file_size;
  };
  for (const TCase& c : {TCase{1000, 300, 1500}, TCase{1000, 900, 1500}, TCase{4000, 96, 4000},
                         TCase{0, 2040, 2040}, TCase{0, 2048, 2048}, TCase{0, 8192, 8192},
                         TCase{5000, 15 << 20, 9000}, TCase{4064, 16, 4070}}) {
    const uint64_t at = save_copy_offset(c.start, c.block_size, c.file_size);
    EXPECT_GE(at, std::max(c.file_size, c.start + c.block_size)) << c.start << " " << c.block_size;
    const uint64_t end = at + c.block_size;
    EXPECT_EQ((end - 1) / kPageBytes, (end + kSaveTrailerBytes - 1) / kPageBytes) << at;
    EXPECT_LE(at - std::max(c.file_size, c.start + c.block_size), kPageBytes);
  }
}

// Behind the old tag lies what an append cut off leaves: zeros, or pages of the copy whose
// header and footer read well while its binary item is a hole. The old tag (with its tail) is
// the one found.
TEST(SaveCopy, FindsTheOldTagBeforeTheDebrisOfACopy) {
  const TBytes audio(5000, 0x55);
  const TBytes old_block = render_ape_tag({{"Title", 0, "old"}}) + id3v1_bytes("tail");
  TBytes torn = render_ape_tag({{"Title", 0, "new"}, {"Cover", kApeItemBinary, "xxxxxxxxxx"}});
  std::fill(torn.end() - 42, torn.end() - 32, 0);
  const TBytes zeros(3000, 0);
  for (const TBytes& debris : {zeros, zeros + torn, torn}) {
    const TBytes image = audio + old_block + debris;
    const auto region =
        find_tag_before_debris(TByteSpan(image).last(image.size() - 4000), image.size(), 32, 0);
    ASSERT_TRUE(region);
    EXPECT_EQ(region->start, audio.size());
    EXPECT_EQ(region->items, (std::vector<TApeItem>{{"Title", 0, "old"}}));
    EXPECT_EQ(region->tail, id3v1_bytes("tail"));
  }
  const TBytes bare = audio + zeros;
  EXPECT_FALSE(find_tag_before_debris(bare, bare.size(), 32, 0));
}

// A save applies the object's own changes to the tag as it is now, not the items it read.
TEST(TagFields, ReplayKeepsWhatAnotherSaveWrote) {
  TTagFields mine({{"Title", 0, "a"}, {"Artist", 0, "b"}});
  ASSERT_EQ(mine.Put("title", "x", 0), kApeSuccess);
  ASSERT_EQ(mine.Put("Year", "", 0), kApeSuccess);
  TTagFields replayed = mine.Replayed({{"Title", 0, "a"}, {"Album", 0, "c"}, {"Year", 0, "1"}});
  EXPECT_EQ(replayed.Items(), (std::vector<TApeItem>{{"Title", 0, "x"}, {"Album", 0, "c"}}));
  EXPECT_FALSE(replayed.Erased());

  mine.EraseAll();
  ASSERT_EQ(mine.Put("Genre", "g", 0), kApeSuccess);
  replayed = mine.Replayed({{"Album", 0, "c"}});
  EXPECT_EQ(replayed.Items(), (std::vector<TApeItem>{{"Genre", 0, "g"}}));
  EXPECT_TRUE(replayed.Erased());
  mine.MarkSaved();
  EXPECT_EQ(mine.Replayed({{"Album", 0, "c"}}).Items(), (std::vector<TApeItem>{{"Album", 0, "c"}}));
}

}  // namespace
