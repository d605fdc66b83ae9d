#include "platform/monkeysaudio/ape_tag.h"

#include <gtest/gtest.h>

#include "platform/monkeysaudio/tag_fields.h"
#include "platform/monkeysaudio/test_support.h"

namespace {

std::vector<TApeItem> round_trip(const std::vector<TApeItem>& items) {
  const TBytes rendered = render_ape_tag(items);
  const auto parse = parse_ape_items(TByteSpan(rendered).subspan(32, rendered.size() - 64), 2000);
  EXPECT_TRUE(parse.sound);
  return parse.items;
}

// Items are stored smallest first; flags, key spelling and binary values come back as
// they went in.
TEST(ApeTag, RendersGoldenBytesAndParsesThemBack) {
  const std::vector<TApeItem> items = {{"Title", 0, "Intro"}, {"Year", 0, "2002"}};
  EXPECT_EQ(render_ape_tag(items),
            tag_block(2000, 68, 2, 0xA0000000) + item_bytes(4, 0, "Year", "2002") +
                item_bytes(5, 0, "Title", "Intro") + tag_block(2000, 68, 2, 0x80000000));
  EXPECT_EQ(round_trip(items), (std::vector<TApeItem>{items[1], items[0]}));
  EXPECT_TRUE(render_ape_tag({}).empty());

  const std::vector<TApeItem> odd = {
      {"REPLAYGAIN_TRACK_GAIN", kApeItemReadOnly, "-6.48 dB"},
      {"Cover Art (Front)", kApeItemBinary, std::string("front.jpg\0\xFF\xD8\xFF\x00\x01", 15)},
      {"tItLe", 0, std::string("a\0b", 3)}};
  EXPECT_EQ(round_trip(odd), (std::vector<TApeItem>{odd[2], odd[0], odd[1]}));
}

TEST(ApeTag, ItemsParseAsFarAsTheyAreSound) {
  const TBytes good = item_bytes(2, 0, "Title", "ok");
  struct TCase {
    const char* name;
    TBytes area;
    size_t items;
    bool sound;
  } cases[] = {
      {"value runs past the area", good + item_bytes(100, 0, "Year", "1"), 1, false},
      {"key without terminator", good + TBytes{1, 0, 0, 0, 0, 0, 0, 0, 'Y', 'e', 'a'}, 1, false},
      {"key of one byte", good + item_bytes(1, 0, "Y", "1"), 1, false},
      {"key of 256 bytes", good + item_bytes(1, 0, std::string(256, 'k'), "1"), 1, false},
      {"key of 255 bytes", good + item_bytes(1, 0, std::string(255, 'k'), "1"), 2, true},
      {"control byte in key", good + item_bytes(1, 0, "Ye\tar", "1"), 1, false},
      {"forbidden key in other case", good + item_bytes(1, 0, "oggs", "1"), 1, false},
      {"trailing junk shorter than an item", good + TBytes(5, 0), 1, false},
      {"reserved type kept", good + item_bytes(1, 6, "Odd", "1"), 2, true},
  };
  for (const TCase& c : cases) {
    const auto parse = parse_ape_items(c.area, kApeTagVersion2);
    EXPECT_EQ(parse.items.size(), c.items) << c.name;
    EXPECT_EQ(parse.sound, c.sound) << c.name;
  }
  // Version 1 items are text whatever their flags say.
  EXPECT_TRUE(parse_ape_items(item_bytes(1, kApeItemBinary, "Year", "1"), 1000).items[0].IsText());
}

using TFetched = std::pair<int, std::string>;

// Fetch's status and the text it leaves in a buffer of `room` bytes.
TFetched fetch(const TTagFields& fields, const char* name, int room) {
  std::string buffer(static_cast<size_t>(room), '#');
  int size = room;
  const int status = fields.Fetch(name, buffer.data(), &size);
  EXPECT_EQ(buffer[static_cast<size_t>(size)], '\0');
  return {status, buffer.substr(0, static_cast<size_t>(size))};
}

TEST(TagFields, FetchAlwaysLeavesATerminatedTextThatFits) {
  const TTagFields fields({{"TITLE", 0, std::string("one\0two", 7)},
                           {"Art", kApeItemBinary, "xyz"},
                           {"Album", 0, "\xE6\x97\xA5\xE6\x9C\xAC"}});  // two 3-byte characters
  EXPECT_EQ(fetch(fields, "title", 2048), (TFetched{kApeSuccess, "one; two"}));
  EXPECT_EQ(fetch(fields, "Title", 5), (TFetched{kApeErrorBufferTooSmall, "one;"}));
  EXPECT_EQ(fetch(fields, "Title", 1), (TFetched{kApeErrorBufferTooSmall, ""}));
  // Never half a character.
  EXPECT_EQ(fetch(fields, "Album", 6), (TFetched{kApeErrorBufferTooSmall, "\xE6\x97\xA5"}));
  EXPECT_EQ(fetch(fields, "Art", 2048), (TFetched{kApeErrorFieldNotFound, ""}));
}

TEST(TagFields, PutReplacesEveryCaseKeepsSpellingAndEmptyRemoves) {
  TTagFields fields({{"TITLE", 0, "old"}, {"Title", 0, "older"}, {"Genre", 0, "Jazz"}});
  EXPECT_EQ(fields.Put("title", "new", 0), kApeSuccess);
  EXPECT_EQ(fields.Put("Artist", "Someone", 0), kApeSuccess);
  EXPECT_EQ(fields.Put("GENRE", "", 0), kApeSuccess);
  EXPECT_EQ(fields.Items(), (std::vector<TApeItem>{{"TITLE", 0, "new"}, {"Artist", 0, "Someone"}}));
  for (const char* bad_key : {"T", "TAG", "Tab\there", ""}) {
    EXPECT_EQ(fields.Put(bad_key, "x", 0), kApeErrorInvalidArgument) << bad_key;
  }
  EXPECT_EQ(fields.Put("Title", "x", 0x100), kApeErrorInvalidArgument);
  fields.EraseAll();
  EXPECT_TRUE(fields.Items().empty());
  EXPECT_TRUE(fields.Erased());
}

}  // namespace
