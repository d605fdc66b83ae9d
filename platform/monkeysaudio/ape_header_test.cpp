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

TEST(ApeHeader, DecidesEveryFixture) {
  struct TCase {
    const char* file;
    bool opens;
  } cases[] = {
      {"taglib/mac-390-hdr.ape", true},  // header whole, audio cut off
      {"taglib/mac-396.ape", true},
      {"taglib/mac-399.ape", true},
      {"taglib/mac-399-tagged.ape", true},
      {"taglib/mac-399-id3v2.ape", true},
      {"mutagen/mac-390-hdr.ape", true},
      {"mutagen/mac-396.ape", true},
      {"mutagen/mac-399.ape", true},
      {"taglib/longloop.ape", false},  // 179-bit samples, absurd sizes
      {"taglib/zerodiv.ape", false},   // version 150
      {"taglib/ape.mp3", false},
      {"taglib/ape-id3v2.mp3", false},
      {"taglib/tagged.wv", false},
      {"taglib/infloop.mpc", false},
      {"mutagen/click.mpc", false},
      {"mutagen/has-tags.tak", false},
      {"mutagen/oldtag.apev2", false},
      {"mutagen/emptyfile.mp3", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(recognise_ape_image(read_all(fixture(c.file))).has_value(), c.opens) << c.file;
  }
}

TEST(ApeHeader, ReadsFieldsOfBothLayouts) {
  const auto old = recognise_ape_image(read_all(fixture("mutagen/mac-390-hdr.ape")));
  ASSERT_TRUE(old);
  EXPECT_FALSE(old->descriptor_layout);
  EXPECT_EQ(old->version, 3900);
  EXPECT_EQ(old->blocks_per_frame, 73728u);
  EXPECT_EQ(old->header_end, 40u);

  const auto tagged = recognise_ape_image(read_all(fixture("taglib/mac-399-tagged.ape")));
  ASSERT_TRUE(tagged);
  EXPECT_TRUE(tagged->descriptor_layout);
  EXPECT_EQ(tagged->declared_audio_end, 85212u);  // where its APE tag starts

  const auto behind_id3 = recognise_ape_image(read_all(fixture("taglib/mac-399-id3v2.ape")));
  ASSERT_TRUE(behind_id3);
  EXPECT_EQ(behind_id3->magic_offset, 3943u);
}

TEST(ApeHeader, SynthesisedHeaders) {
  TBytes floating = descriptor_header();
  floating[3] = 'F';
  TBytes wide_descriptor = descriptor_header(3990, 64);
  TBytes behind_junk = TBytes(300, 0x55) + descriptor_header();
  TBytes magic_in_id3_body = id3v2(200, 0, "MAC ") + TBytes(4, 0);
  struct TCase {
    const char* name;
    TBytes image;
    bool opens;
    uint64_t magic_offset;
  } cases[] = {
      {"descriptor", descriptor_header(), true, 0},
      {"descriptor MACF", floating, true, 0},
      {"descriptor 3.98", descriptor_header(3980), true, 0},
      {"descriptor bytes above 52", wide_descriptor, true, 0},
      {"old with peak and seek count", old_header(0x16), true, 0},
      {"old without stored WAV header", old_header(0x20 | 0x2), true, 0},
      {"old 24-bit", old_header(0x08), true, 0},
      {"behind ID3v2", id3v2(100) + descriptor_header(), true, 110},
      {"behind ID3v2 with footer", id3v2(100, 0x10) + descriptor_header(), true, 120},
      {"behind junk", behind_junk, true, 300},
      {"magic only inside the ID3v2 body", magic_in_id3_body, false, 0},
      {"no frames", descriptor_header(3990, 52, 0), false, 0},
      {"fewer seek entries than frames", descriptor_header(3990, 52, 4), false, 0},
      {"12-bit samples", descriptor_header(3990, 52, 3, 12), false, 0},
      {"version before 3.80", descriptor_header(3790), false, 0},
      {"seek count below frames", old_header(0x16, 9), false, 0},
      {"truncated descriptor", prefix(descriptor_header(), 60), false, 0},
      {"truncated old header", prefix(old_header(0x16), 36), false, 0},
      {"empty", TBytes(), false, 0},
      {"ID3v2 only", id3v2(20), false, 0},
  };
  for (const TCase& c : cases) {
    const auto header = recognise_ape_image(c.image);
    ASSERT_EQ(header.has_value(), c.opens) << c.name;
    if (header) {
      EXPECT_EQ(header->magic_offset, c.magic_offset) << c.name;
    }
  }
}

TEST(ApeHeader, AudioCutShortStillOpensWithHeaderAsFloor) {
  TBytes image = descriptor_header();
  image.resize(image.size() - 30);  // frames cut off
  const auto header = recognise_ape_image(image);
  ASSERT_TRUE(header);
  EXPECT_GT(header->declared_audio_end, image.size());
  EXPECT_EQ(header->header_end, 76u);
}

}  // namespace
