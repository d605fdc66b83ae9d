#include "platform/monkeysaudio/core/ape_header.h"

#include <gtest/gtest.h>

#include "tests/monkeysaudio/test_support.h"

namespace {

// A descriptor-layout header (3.99): descriptor, header, then seek table, WAV header and frames.
TBytes descriptor_header(uint32_t version = 3990, uint32_t descriptor_bytes = 52,
                         uint32_t total_frames = 3, uint32_t bits = 16) {
  TBytes out = text_bytes("MAC ") + u32le({version, descriptor_bytes, 24, 12, 44, 40, 0, 0});
  out.resize(descriptor_bytes, 0);
  return out + u32le({2000, 73728, 15040, total_frames, bits | (2u << 16), 44100}) +
         TBytes(12 + 44 + 40, 0);
}

// An old-layout header (3.90) with a peak level and a seek count.
TBytes old_header(uint32_t seek_count) {
  return text_bytes("MAC ") +
         u32le({3900 | (4000u << 16), 0x16 | (2u << 16), 44100, 44, 0, 10, 25710, 0x27D9,
                seek_count}) +
         TBytes(40, 0);
}

// An ID3v2 tag with a body of `body` bytes (below 128) starting with `fill`.
TBytes id3v2(uint8_t body, uint8_t flags, std::string_view fill = "") {
  TBytes out = text_bytes("ID3") + TBytes{4, 0, flags, 0, 0, 0, body} + text_bytes(fill);
  out.resize(10u + body + ((flags & 0x10) ? 10 : 0), 0);
  return out;
}

// Which headers are recognised and where the stream starts. That every Monkey's Audio file other
// software wrote opens, or is refused by a stated rule, the interoperability test checks.
TEST(ApeHeader, SynthesisedHeaders) {
  TBytes floating = descriptor_header();
  floating[3] = 'F';
  TBytes cut_short = descriptor_header();  // the header whole, the audio cut off
  cut_short.resize(142);
  // "MAC " in the junk before a header: one whose header the end of the file cuts off (a tag
  // appended there would complete it), and one refused for its 12-bit samples, read at 200.
  TBytes cut_off = descriptor_header();
  cut_off[12] = 0xA0;  // 160 header bytes after the descriptor: 212 in all
  cut_off.resize(100);
  TBytes twelve_bit = descriptor_header(3990, 200, 3, 12);
  twelve_bit.resize(100);
  // A 50-byte file: a "MAC " refused by the sizes it reads (the next header's magic), however
  // short the file after them, then a header whose seek table is cut off.
  const TBytes old_alone = old_header(10);
  const TBytes refused_by_sizes = text_bytes("MAC ") + TBytes{0x96, 0x0F, 0, 0, 0, 0} +
                                  TBytes(old_alone.begin(), old_alone.begin() + 40);
  struct TCase {
    const char* name;
    TBytes image;
    bool opens;
    uint64_t magic_offset;
  } cases[] = {
      {"descriptor MACF", floating, true, 0},
      {"descriptor bytes above 52", descriptor_header(3990, 64), true, 0},
      {"audio cut short", cut_short, true, 0},
      {"old with peak and seek count", old_header(10), true, 0},
      {"behind ID3v2 with footer", id3v2(100, 0x10) + descriptor_header(), true, 120},
      {"behind junk", TBytes(300, 0x55) + descriptor_header(), true, 300},
      {"magic only inside the ID3v2 body", id3v2(100, 0, "MAC ") + TBytes(4, 0), false, 0},
      // Never finalised, or trimmed: the tag can still be located from the header.
      {"fewer seek entries than frames", descriptor_header(3990, 52, 4), true, 0},
      {"no frames", descriptor_header(3990, 52, 0), true, 0},
      {"12-bit samples", descriptor_header(3990, 52, 3, 12), false, 0},
      {"version before 3.80", descriptor_header(3790), false, 0},
      {"seek count below frames", old_header(9), true, 0},
      {"truncated descriptor", TBytes(cut_short.begin(), cut_short.begin() + 60), false, 0},
      {"behind a header cut off by the end", cut_off + old_header(10), false, 0},
      {"behind a header refused for its samples", twelve_bit + old_header(10) + TBytes(200, 0),
       true, 100},
      {"behind a header refused by its sizes, in a short file", refused_by_sizes, true, 10},
  };
  for (const TCase& c : cases) {
    const auto header = recognise_ape_image(c.image);
    ASSERT_EQ(header.has_value(), c.opens) << c.name;
    if (header) {
      EXPECT_EQ(header->magic_offset, c.magic_offset) << c.name;
    }
  }
  // No tag may start where a save would change the bytes that refused the 12-bit candidate.
  EXPECT_EQ(recognise_ape_image(twelve_bit + old_header(10) + TBytes(200, 0))->junk_reach, 224u);
  EXPECT_EQ(recognise_ape_image(TBytes(300, 0x55) + descriptor_header())->junk_reach, 0u);
}

}  // namespace
