#include "platform/monkeysaudio/core/save_journal.h"

#include <gtest/gtest.h>

#include "tests/monkeysaudio/test_support.h"

namespace {

// Every byte of a record's header counts: one flipped bit anywhere, or a header cut short, and
// the record is nobody's. Numbers no save writes are refused even under a sound checksum, so
// that recovery never computes with them.
TEST(SaveJournal, HeaderRoundTripsAndNothingElseParses) {
  EXPECT_EQ(crc32(text_bytes("123456789")), 0xCBF43926u);
  const TJournalRecord record{0x0102030405060708,
                              0x1112131415161718,
                              2048,
                              70000,
                              90000,
                              80000,
                              65536,
                              0xA1A2A3A4,
                              65536,
                              0xB1B2B3B4,
                              0xC1C2C3C4,
                              0xD1D2D3D4};
  const TBytes header = render_journal_header(record);
  ASSERT_EQ(header.size(), kJournalHeaderBytes);
  EXPECT_EQ(parse_journal_header(header), record);
  for (size_t at = 0; at < header.size(); ++at) {
    TBytes flipped = header;
    flipped[at] ^= 0x10;
    EXPECT_FALSE(parse_journal_header(flipped)) << "byte " << at;
  }
  EXPECT_FALSE(parse_journal_header(TByteSpan(header).first(kJournalHeaderBytes - 1)));

  TJournalRecord no_anchor = record;
  no_anchor.anchor = kJournalNoAnchor;
  EXPECT_EQ(parse_journal_header(render_journal_header(no_anchor)), no_anchor);

  const std::pair<const char*, void (*)(TJournalRecord&)> cases[] = {
      {"target past the old end",
       [](TJournalRecord& r) {
         r.target = r.old_size + 1;
         r.new_size = r.target + 10;
       }},
      {"target past the new end", [](TJournalRecord& r) { r.new_size = r.target - 1; }},
      {"old region larger than any tag",
       [](TJournalRecord& r) { r.old_size = r.target + kTagRegionMaxBytes + 1; }},
      {"new block larger than any save",
       [](TJournalRecord& r) { r.new_size = r.target + kSaveMaxBlockBytes + 1; }},
      {"before span over 64 KiB", [](TJournalRecord& r) { r.before_bytes = 65537; }},
      {"before span below the anchor", [](TJournalRecord& r) { r.target = r.before_bytes - 1; }},
      {"head span over 64 KiB", [](TJournalRecord& r) { r.head_bytes = 65537; }},
      {"head span reaching the target",
       [](TJournalRecord& r) {
         r.before_bytes = 10;
         r.target = 100;
         r.head_bytes = 101;
       }},
      {"anchor beyond any file", [](TJournalRecord& r) { r.anchor = uint64_t{1} << 63; }},
  };
  for (const auto& [name, damage] : cases) {
    TJournalRecord damaged = record;
    damage(damaged);
    EXPECT_FALSE(parse_journal_header(render_journal_header(damaged))) << name;
  }
}

}  // namespace
