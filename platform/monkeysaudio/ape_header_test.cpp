#include "platform/monkeysaudio/ape_header.h"

#include <gtest/gtest.h>

#include "platform/monkeysaudio/test_support.h"

namespace {

// A descriptor-layout header (3.99) whose audio ends `audio` bytes after the header.
TBytes descriptor_header(uint16_t version = 3990, uint32_t descriptor_bytes = 52,
                         uint32_t total_frames = 3, uint16_t bits = 16) {
  TBytes out = text_bytes("MAC ");
  out.push_back(version & 0xFF);
  out.push_back(version >> 8);
  out.insert(out.end(), {0, 0});
  for (uint32_t value : {descriptor_bytes, 24u, 12u, 44u, 40u, 0u, 0u}) {
    append_u32le(out, value);
  }
  out.resize(descriptor_bytes, 0);
  const TBytes header = {0xD0, 0x07, 0x00, 0x00};  // normal compression, no flags
  out.insert(out.end(), header.begin(), header.end());
  for (uint32_t value : {73728u, 15040u, total_frames}) {
    append_u32le(out, value);
  }
  out.insert(out.end(), {static_cast<uint8_t>(bits), 0, 2, 0});
  append_u32le(out, 44100);
  out.resize(out.size() + 12 + 44 + 40, 0);  // seek table, WAV header, frames
  return out;
}

// An old-layout header (3.90) with the given format flags.
TBytes old_header(uint16_t flags, uint32_t seek_count = 10) {
  TBytes out = text_bytes("MAC ");
  out.insert(out.end(), {0x3C, 0x0F, 0xA0, 0x0F, static_cast<uint8_t>(flags), 0, 2, 0});
  for (uint32_t value : {44100u, 44u, 0u, 10u, 25710u}) {
    append_u32le(out, value);
  }
  if (flags & 4) {
    append_u32le(out, 0x27D9);
  }
  if (flags & 16) {
    append_u32le(out, seek_count);
  }
  out.resize(out.size() + 40, 0);
  return out;
}

TBytes id3v2(uint32_t body, uint8_t flags = 0, std::string_view fill = "") {
  TBytes out = text_bytes("ID3");
  out.insert(out.end(),
             {4, 0, flags, static_cast<uint8_t>((body >> 21) & 0x7F),
              static_cast<uint8_t>((body >> 14) & 0x7F), static_cast<uint8_t>((body >> 7) & 0x7F),
              static_cast<uint8_t>(body & 0x7F)});
  TBytes rest(body + ((flags & 0x10) ? 10 : 0), 0);
  std::copy(fill.begin(), fill.end(), rest.begin());
  return out + rest;
}

TBytes prefix(TBytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(ApeHeader, DecidesEveryFixtureAndReadsBothLayouts) {
  const char* const opens[] = {"taglib/mac-390-hdr.ape",  // header whole, audio cut off
                               "taglib/mac-396.ape",        "taglib/mac-399.ape",
                               "taglib/mac-399-tagged.ape", "taglib/mac-399-id3v2.ape",
                               "mutagen/mac-390-hdr.ape",   "mutagen/mac-396.ape",
                               "mutagen/mac-399.ape"};
  const char* const refused[] = {"taglib/longloop.ape",  // 179-bit samples, absurd sizes
                                 "taglib/zerodiv.ape",   // version 150
                                 "taglib/ape.mp3",       "taglib/ape-id3v2.mp3",
                                 "taglib/tagged.wv",     "taglib/infloop.mpc",
                                 "mutagen/click.mpc",    "mutagen/has-tags.tak",
                                 "mutagen/oldtag.apev2", "mutagen/emptyfile.mp3"};
  for (const char* file : opens) {
    EXPECT_TRUE(recognise_ape_image(read_all(fixture(file)))) << file;
  }
  for (const char* file : refused) {
    EXPECT_FALSE(recognise_ape_image(read_all(fixture(file)))) << file;
  }

  const auto old = recognise_ape_image(read_all(fixture("mutagen/mac-390-hdr.ape")));
  ASSERT_TRUE(old);
  EXPECT_FALSE(old->descriptor_layout);
  EXPECT_EQ(old->blocks_per_frame, 73728u);
  EXPECT_EQ(old->header_end, 40u);
  const auto tagged = recognise_ape_image(read_all(fixture("taglib/mac-399-tagged.ape")));
  ASSERT_TRUE(tagged);
  EXPECT_TRUE(tagged->descriptor_layout);
  EXPECT_EQ(tagged->declared_audio_end, 85212u);  // where its APE tag starts
  EXPECT_EQ(recognise_ape_image(read_all(fixture("taglib/mac-399-id3v2.ape")))->magic_offset,
            3943u);
}

TEST(ApeHeader, SynthesisedHeaders) {
  TBytes floating = descriptor_header();
  floating[3] = 'F';
  struct TCase {
    const char* name;
    TBytes image;
    bool opens;
    uint64_t magic_offset;
  } cases[] = {
      {"descriptor", descriptor_header(), true, 0},
      {"descriptor MACF", floating, true, 0},
      {"descriptor bytes above 52", descriptor_header(3990, 64), true, 0},
      {"old with peak and seek count", old_header(0x16), true, 0},
      {"behind ID3v2 with footer", id3v2(100, 0x10) + descriptor_header(), true, 120},
      {"behind junk", TBytes(300, 0x55) + descriptor_header(), true, 300},
      {"magic only inside the ID3v2 body", id3v2(200, 0, "MAC ") + TBytes(4, 0), false, 0},
      {"fewer seek entries than frames", descriptor_header(3990, 52, 4), false, 0},
      {"12-bit samples", descriptor_header(3990, 52, 3, 12), false, 0},
      {"version before 3.80", descriptor_header(3790), false, 0},
      {"seek count below frames", old_header(0x16, 9), false, 0},
      {"truncated descriptor", prefix(descriptor_header(), 60), false, 0},
  };
  for (const TCase& c : cases) {
    const auto header = recognise_ape_image(c.image);
    ASSERT_EQ(header.has_value(), c.opens) << c.name;
    if (header) {
      EXPECT_EQ(header->magic_offset, c.magic_offset) << c.name;
    }
  }
}

// Audio cut short still opens, with the header's end as the floor for a tag.
TEST(ApeHeader, AudioCutShortStillOpens) {
  const TBytes image = prefix(descriptor_header(), 142);
  const auto header = recognise_ape_image(image);
  ASSERT_TRUE(header);
  EXPECT_GT(header->declared_audio_end, image.size());
  EXPECT_EQ(header->header_end, 76u);
}

}  // namespace
