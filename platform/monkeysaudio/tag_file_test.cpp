#include "platform/monkeysaudio/tag_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <map>

#include "platform/monkeysaudio/journal_file.h"
#include "platform/monkeysaudio/save_journal.h"
#include "platform/monkeysaudio/test_support.h"

namespace {

std::string fixtures(const std::string& folder) {
  return std::string(QUILLET_FIXTURES_DIR) + "/" + folder;
}

// Every Monkey's Audio file other software wrote opens, and its tag is located so that a save may
// replace it; the few refused files break a rule the README states.
TEST(TagFile, OpensEveryRealFileOrRefusesItByAStatedRule) {
  const std::map<std::string, int> refused = {
      // Not Monkey's Audio: no magic, or a version before 3.80.
      {"longloop.ape", kApeErrorInvalidFormat},
      {"zerodiv.ape", kApeErrorInvalidFormat},
      // An old-layout version over descriptor-layout fields: no channel, no sample rate.
      {"mediafile-oldape.ape", kApeErrorInvalidFormat},
  };
  int opened = 0;
  for (const char* folder : {"wild", "peer-suite"}) {
    for (const auto& entry : std::filesystem::directory_iterator(fixtures(folder))) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".ape") {
        continue;
      }
      TTagFileView view;
      const int status = load_tag_file(entry.path().c_str(), true, &view);
      const auto rule = refused.find(name);
      if (rule != refused.end()) {
        EXPECT_EQ(status, rule->second) << name;
        continue;
      }
      ASSERT_EQ(status, kApeSuccess) << name;
      EXPECT_EQ(view.region.trust, TTagTrust::kTrusted) << name;
      EXPECT_EQ(view.region.has_ape, view.region.start < view.region.tail_start) << name;
      ++opened;
    }
  }
  EXPECT_GE(opened, 30);
}

// A FIFO is decided on without waiting for a writer; a Lyrics3v2 block far larger than the first
// read is followed to the tag before it in as many reads as the structure needs.
TEST(TagFile, FifosDoNotHangAndLargeTailsTakeMoreReads) {
  TTempDir dir;
  const std::string fifo = dir.File("fifo.ape");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [&] {
    TTagFileView view;
    return std::make_pair(load_tag_file(fifo.c_str(), true, &view),
                          save_tag_file(fifo.c_str(), true, {{"Title", 0, "x"}}, false));
  });
  if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "opening a FIFO waits for a writer";
    close(open(fifo.c_str(), O_RDWR));  // releases the waiting open, so the test can end
  }
  EXPECT_EQ(opened.get(), std::make_pair(int{kApeErrorOpenFile}, int{kApeErrorWriteFile}));

  const std::string path = dir.File("lyrics.ape");
  const TBytes audio = read_all(fixture("mutagen/mac-399.ape"));
  TBytes lyrics = text_bytes("LYRICSBEGIN") + TBytes(64 << 10, 'l');
  const std::string size = std::to_string(lyrics.size());
  lyrics = lyrics + text_bytes(std::string(6 - size.size(), '0') + size + "LYRICS200");
  const TBytes id3v1 = id3v1_bytes("Song");
  const std::vector<TApeItem> items = {{"Title", 0, "Lyrics kept"}};
  write_all(path, audio + render_ape_tag(items) + lyrics + id3v1);
  TTagFileView view;
  ASSERT_EQ(load_tag_file(path.c_str(), true, &view), kApeSuccess);
  EXPECT_EQ(view.region.items, items);
  EXPECT_EQ(view.region.start, audio.size());
  EXPECT_EQ(view.region.tail, lyrics + id3v1);
}

// A 1 GiB file (sparse) whose last bytes are a tag: reading and saving it must touch only its
// two ends.
TEST(TagFile, CostDoesNotGrowWithTheFile) {
  TTempDir dir;
  const std::string path = dir.File("large.ape");
  const uint64_t size = 1ull << 30;
  write_all(path, read_all(fixture("mutagen/mac-390-hdr.ape")));  // old layout: no audio end
  std::filesystem::resize_file(path, size);
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "big"}}, false), kApeSuccess);

  io_counters() = {};
  TTagFileView view;
  ASSERT_EQ(load_tag_file(path.c_str(), true, &view), kApeSuccess);
  EXPECT_EQ(view.region.items, (std::vector<TApeItem>{{"Title", 0, "big"}}));
  EXPECT_LE(io_counters().bytes_read, 64u << 10);

  io_counters() = {};
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "b"}}, false), kApeSuccess);
  // The old tag into the journal with its header, then the new tag in place.
  EXPECT_LE(io_counters().bytes_written, render_ape_tag({{"Title", 0, "big"}}).size() +
                                             kJournalHeaderBytes +
                                             render_ape_tag({{"Title", 0, "b"}}).size());
  EXPECT_LE(io_counters().bytes_read, 256u << 10);
  EXPECT_EQ(std::filesystem::file_size(path), size + render_ape_tag({{"Title", 0, "b"}}).size());
}

}  // namespace
