#include "platform/monkeysaudio/core/tag_region.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/monkeysaudio/core/save_plan.h"
#include "tests/monkeysaudio/test_support.h"

namespace {

const TBytes kAudio(1000, 0xA5);
const TBytes kItem = item_bytes(5, 0, "Title", "Intro");                // 19 bytes
const TBytes kFooterOnly = kItem + tag_block(2000, 51, 1, 0x80000000);  // no header
const TBytes kWithHeader = tag_block(2000, 51, 1, 0xA0000000) + kFooterOnly;

TEST(TagRegion, LocatesTheTagBeforeItsTail) {
  // A 131-byte tag whose header preamble lands at L-131 and its "TAG" bytes at L-128.
  const TBytes tricky = tag_block(2000, 99, 1, 0xA0000000) +
                        item_bytes(53, 0, "Title", std::string(53, 'x')) +
                        tag_block(2000, 99, 1, 0x80000000);
  ASSERT_EQ(tricky.size(), 131u);
  struct TCase {
    const char* name;
    TBytes tag;
    uint64_t start;  // offset after the audio
    size_t tail;
    bool has_ape;
  } cases[] = {
      {"ID3v1 only", id3v1_bytes("x"), 0, 128, false},
      {"131-byte tag", tricky, 0, 0, true},
      {"Lyrics3v2 and ID3v1",
       kWithHeader + text_bytes("LYRICSBEGINla la000016LYRICS200") + id3v1_bytes("x"), 0, 31 + 128,
       true},
      {"header flag without header", kAudio + kFooterOnly, 1000, 0, true},
      {"both flagged as header",
       tag_block(2000, 51, 1, 0xA0000000) + kItem + tag_block(2000, 51, 1, 0xA0000000) +
           id3v1_bytes("x"),
       0, 128, true},
  };
  for (const TCase& c : cases) {
    const TTagRegion r = read_tag_region(kAudio + c.tag, {kAudio.size()});
    EXPECT_EQ(
        std::tuple(r.trust, r.start - kAudio.size(), r.tail.size(), r.has_ape, r.items.size()),
        std::tuple(TTagTrust::kTrusted, c.start, c.tail, c.has_ape, c.tag.empty() ? 0u : 1u))
        << c.name;
  }
  EXPECT_EQ(read_tag_region(kAudio + id3v1_bytes("Song", 8), {1000}).items,
            (std::vector<TApeItem>{{"Title", 0, "Song"}, {"Genre", 0, "Jazz"}}));
}

TEST(TagRegion, HostileTagsAreNeverTrustedBeyondWhatIsSound) {
  const auto footer = [](uint32_t version, uint32_t size, uint32_t count, uint32_t flags = 0) {
    return tag_block(version, size, count, 0x80000000 | flags);
  };
  const std::tuple<const char*, TBytes, TTagTrust, size_t> cases[] = {
      {"size below 32", kItem + footer(2000, 31, 1), TTagTrust::kExtentDamaged, 0},
      {"size past the file", kItem + footer(2000, 0xFFFFFF00, 1), TTagTrust::kExtentDamaged, 0},
      {"size reaching into the audio", kItem + footer(2000, 52, 1), TTagTrust::kExtentDamaged, 0},
      {"size above the cap", kItem + footer(2000, kApeTagMaxItemBytes + 33, 1),
       TTagTrust::kExtentDamaged, 0},
      {"unknown version", kItem + footer(3000, 51, 1), TTagTrust::kExtentDamaged, 0},
      // A footer flagged as a header is the footer of the items before it when they are exactly
      // the items it counts; otherwise it is what a rewrite that lost the footer leaves, a header
      // that goes on the next save while the bytes before it stay.
      {"footer flagged as header", kItem + footer(2000, 51, 1, 0x20000000), TTagTrust::kTrusted, 1},
      {"header whose count is not the items'", kItem + footer(2000, 51, 2, 0x20000000),
       TTagTrust::kTrusted, 0},
      {"header alone after the audio", footer(2000, 100, 1, 0x20000000), TTagTrust::kTrusted, 0},
      {"count below the items", kItem + kItem + footer(2000, 70, 1), TTagTrust::kTrusted, 2},
      {"value past the tag", item_bytes(0xFFFFFFF0, 0, "Title", "Intro") + footer(2000, 51, 1),
       TTagTrust::kItemsDamaged, 0},
      {"second value past the tag", kItem + item_bytes(5, 0, "Year", "1") + footer(2000, 65, 2),
       TTagTrust::kItemsDamaged, 1},
  };
  for (const auto& [name, tag, trust, items] : cases) {
    const TBytes image = kAudio + tag;
    // The audio end is declared: a tag after it is certain of its extent.
    const TTagRegion region = read_tag_region(image, {kAudio.size(), true});
    EXPECT_EQ(std::pair(region.trust, region.items.size()), std::pair(trust, items)) << name;
    TSavePlan plan;
    const int status = plan_tag_save(region, image.size(), {{"Title", 0, "x"}}, false, &plan);
    EXPECT_EQ(status, trust == TTagTrust::kTrusted ? kApeSuccess : kApeErrorBadTag) << name;
    // Once the caller has dropped every field, a tag whose extent is known may be replaced.
    const int after_erase = plan_tag_save(region, image.size(), {}, true, &plan);
    EXPECT_EQ(after_erase == kApeSuccess, trust != TTagTrust::kExtentDamaged) << name;
  }
}

}  // namespace
