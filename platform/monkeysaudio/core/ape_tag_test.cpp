#include "platform/monkeysaudio/core/ape_tag.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/monkeysaudio/core/tag_fields.h"
#include "tests/monkeysaudio/test_support.h"

namespace {

std::vector<TApeItem> round_trip(const std::vector<TApeItem>& items) {
  const TBytes rendered = render_ape_tag(items);
  const auto parse = parse_ape_items(TByteSpan(rendered).subspan(32, rendered.size() - 64), 2000);
  EXPECT_TRUE(parse.sound);
  return parse.items;
}

// Items are stored in the order given, so that of two items whose names differ only in case
// the one every reader shows stays the later; flags, key spelling, binary values and kept items
// come back as they went in; the tag's read-only flag is set on request.
TEST(ApeTag, RendersGoldenBytesAndParsesThemBack) {
  const std::vector<TApeItem> items = {{"Title", 0, "Intro"}, {"Year", 0, "2002"}};
  const TBytes body = item_bytes(5, 0, "Title", "Intro") + item_bytes(4, 0, "Year", "2002");
  for (bool read_only : {false, true}) {
    EXPECT_EQ(render_ape_tag(items, read_only), tag_block(2000, 68, 2, 0xA0000000 | read_only) +
                                                    body +
                                                    tag_block(2000, 68, 2, 0x80000000 | read_only));
  }

  const TBytes kept = item_bytes(1, 0, "MP+", "x");
  const std::vector<TApeItem> odd = {
      {"REPLAYGAIN_TRACK_GAIN", kApeItemReadOnly, "-6.48 dB"},
      {"Cover Art (Front)", kApeItemBinary, std::string("front.jpg\0\xFF\xD8\xFF\x00\x01", 15)},
      {"MP+", 0, "x", std::string(kept.begin(), kept.end())},
      {"tItLe", 0, std::string("a\0b", 3)}};
  EXPECT_EQ(round_trip(odd), odd);
}

// An item whose length is sound is never a reason to lose the items after it: a key that may
// not be stored makes it a kept item instead.
TEST(ApeTag, ItemsParseAsFarAsTheirLengthsAreSound) {
  const TBytes good = item_bytes(2, 0, "Title", "ok");
  const std::tuple<const char*, TBytes, size_t, bool> cases[] = {
      {"value runs past the area", good + item_bytes(100, 0, "Year", "1"), 1, false},
      {"value one byte past the area", good + item_bytes(2, 0, "Year", "1"), 1, false},
      {"key without terminator", good + TBytes{1, 0, 0, 0, 0, 0, 0, 0, 'Y', 'e', 'a'}, 1, false},
      {"trailing junk shorter than an item", good + TBytes(5, 0), 1, false},
      {"key of 255 bytes", good + item_bytes(1, 0, std::string(255, 'k'), "1"), 2, true},
      {"reserved type kept", good + item_bytes(1, 6, "Odd", "1"), 2, true},
  };
  for (const auto& [name, area, items, sound] : cases) {
    const auto parse = parse_ape_items(area, kApeTagVersion2);
    EXPECT_EQ(std::pair(parse.items.size(), parse.sound), std::pair(items, sound)) << name;
  }
  for (const std::string& key :
       {std::string("Y"), std::string(256, 'k'), std::string("Ye\tar"), std::string("oggs"),
        std::string("MP+"), std::string("tag"), std::string()}) {
    const TBytes bad = item_bytes(3, 0, key, std::string("1\0x", 3));
    const auto parse = parse_ape_items(good + bad + good, kApeTagVersion2);
    ASSERT_TRUE(parse.sound) << key;
    ASSERT_EQ(parse.items.size(), 3u) << key;
    EXPECT_EQ(parse.items[1].kept_bytes, std::string(bad.begin(), bad.end())) << key;
    EXPECT_FALSE(parse.items[2].IsKept()) << key;
  }
  // Version 1 items are text whatever their flags say, and their closing NUL goes.
  const auto v1 = parse_ape_items(item_bytes(5, kApeItemBinary, "Year", std::string("1989\0", 5)) +
                                      item_bytes(4, 0, "Genre", std::string("a\0b\0", 4)),
                                  kApeTagVersion1);
  EXPECT_EQ(v1.items, (std::vector<TApeItem>{{"Year", 0, "1989"}, {"Genre", 0, {"a\0b", 3}}}));
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
                           {"Album", 0, "\xE6\x97\xA5\xE6\x9C\xAC"},  // two 3-byte characters
                           {"Year", 0, std::string("1989\0", 5)},
                           {"ye", 0, "kept", "raw bytes"}});
  EXPECT_EQ(fetch(fields, "title", 2048), (TFetched{kApeSuccess, "one; two"}));
  EXPECT_EQ(fetch(fields, "Title", 5), (TFetched{kApeErrorBufferTooSmall, "one;"}));
  EXPECT_EQ(fetch(fields, "Title", 1), (TFetched{kApeErrorBufferTooSmall, ""}));
  // Never half a character.
  EXPECT_EQ(fetch(fields, "Album", 6), (TFetched{kApeErrorBufferTooSmall, "\xE6\x97\xA5"}));
  EXPECT_EQ(fetch(fields, "Art", 2048), (TFetched{kApeErrorFieldNotFound, ""}));
  // A closing NUL is no separator; a kept item is no field.
  EXPECT_EQ(fetch(fields, "Year", 2048), (TFetched{kApeSuccess, "1989"}));
  EXPECT_EQ(fetch(fields, "ye", 2048), (TFetched{kApeErrorFieldNotFound, ""}));
}

// Writing one field leaves every other item where it was: of "Title" then "TITLE" every reader
// shows the later, and must go on doing so after another field is written.
TEST(TagFields, PutTouchesOnlyItsFieldAndKeepsTheStoredOrder) {
  const TBytes stored = item_bytes(1, 0, "T", "x");
  const TApeItem kept{"T", 0, "x", std::string(stored.begin(), stored.end())};
  TTagFields fields({{"Title", 0, "Long original title"}, kept, {"TITLE", 0, "Short"}});
  EXPECT_EQ(fields.Put("Artist", "Someone", 0), kApeSuccess);
  EXPECT_EQ(fetch(TTagFields(round_trip(fields.Items())), "title", 2048),
            (TFetched{kApeSuccess, "Short"}));
  EXPECT_EQ(fields.Put("title", "new", 0), kApeSuccess);
  EXPECT_EQ(fields.Put("GENRE", "", 0), kApeSuccess);
  EXPECT_EQ(fields.Items(),
            (std::vector<TApeItem>{{"Title", 0, "new"}, kept, {"Artist", 0, "Someone"}}));
  EXPECT_EQ(fields.Put("artist", "", 0), kApeSuccess);
  EXPECT_EQ(fields.Items(), (std::vector<TApeItem>{{"Title", 0, "new"}, kept}));
  for (const char* bad_key : {"T", "TAG", "Tab\there", ""}) {
    EXPECT_EQ(fields.Put(bad_key, "x", 0), kApeErrorInvalidArgument) << bad_key;
  }
  EXPECT_EQ(fields.Put("Title", "x", 0x100), kApeErrorInvalidArgument);
  fields.EraseAll();
  EXPECT_TRUE(fields.Items().empty());
  EXPECT_TRUE(fields.Erased());
}

// Once saved, an object has no changes left to apply again over what another save wrote since.
// (Replayed puts and removals, the end-to-end tests and the concurrent stress run check.)
TEST(TagFields, ReplayKeepsWhatAnotherSaveWrote) {
  TTagFields mine({{"Title", 0, "a"}});
  ASSERT_EQ(mine.Put("Genre", "g", 0), kApeSuccess);
  mine.MarkSaved();
  EXPECT_EQ(mine.Replayed({{"Album", 0, "c"}}).Items(), (std::vector<TApeItem>{{"Album", 0, "c"}}));
}

}  // namespace
