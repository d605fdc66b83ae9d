#include "platform/monkeysaudio/file/tag_file.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>

#include "platform/monkeysaudio/core/save_journal.h"
#include "platform/monkeysaudio/file/file_io.h"
#include "platform/monkeysaudio/file/journal_file.h"
#include "tests/monkeysaudio/io_counting.h"
#include "tests/monkeysaudio/test_support.h"

namespace {

const TApeItem kCover{"Cover Art (Front)", kApeItemBinary, std::string(20 << 10, 'c')};

// Each test's file, in a folder of its own; the sample audio comes from the fixtures.
class TFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
  TTempDir fDir;
  const std::string fPath = fDir.File("song.ape");
};
using TagFile = TFileTest;
using SaveJournal = TFileTest;
using MonkeysAudioLibrary = TFileTest;

// A FIFO is decided on without waiting for a writer.
TEST_F(TagFile, FifosDoNotHang) {
  ASSERT_EQ(mkfifo(fPath.c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [&] {
    TTagFileView view;
    return std::make_pair(load_tag_file(fPath.c_str(), true, &view),
                          save_tag_file(fPath.c_str(), true, {{"Title", 0, "x"}}, false));
  });
  if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "opening a FIFO waits for a writer";
    close(open(fPath.c_str(), O_RDWR));  // releases the waiting open, so the test can end
  }
  EXPECT_EQ(opened.get(), std::make_pair(int{kApeErrorOpenFile}, int{kApeErrorWriteFile}));
}

// A 1 GiB file (sparse) whose last bytes are a tag: reading and saving it must touch only its
// two ends.
TEST_F(TagFile, CostDoesNotGrowWithTheFile) {
  const uint64_t size = 1ull << 30;
  write_all(fPath, read_all(QUILLET_FIXTURES_DIR
                            "/peers/mutagen/mac-390-hdr.ape"));  // old layout: no audio end
  std::filesystem::resize_file(fPath, size);
  ASSERT_EQ(save_tag_file(fPath.c_str(), true, {{"Title", 0, "big"}}, false), kApeSuccess);

  io_counters() = {};
  TTagFileView view;
  ASSERT_EQ(load_tag_file(fPath.c_str(), true, &view), kApeSuccess);
  EXPECT_EQ(view.region.items, (std::vector<TApeItem>{{"Title", 0, "big"}}));
  EXPECT_LE(io_counters().bytes_read, 64u << 10);
  EXPECT_GT(io_counters().bytes_read, 0u);  // else the counting wrap counts nothing

  io_counters() = {};
  ASSERT_EQ(save_tag_file(fPath.c_str(), true, {{"Title", 0, "b"}}, false), kApeSuccess);
  // The old tag into the journal with its header, then the new tag in place.
  const uint64_t new_tag = render_ape_tag({{"Title", 0, "b"}}).size();
  EXPECT_LE(io_counters().bytes_written,
            render_ape_tag({{"Title", 0, "big"}}).size() + kJournalHeaderBytes + new_tag);
  EXPECT_LE(io_counters().bytes_read, 256u << 10);
  EXPECT_EQ(std::filesystem::file_size(fPath), size + new_tag);
}

// Cover art wherever it stands among the items: a listing reads the file's ends, the item
// headers and the text, never the cover; a save of another field reads the cover back and
// keeps it byte for byte.
TEST_F(TagFile, ListingsSkipCoverArtAndSavesKeepIt) {
  TApeItem cover{"Cover Art (Front)", kApeItemBinary, std::string(4 << 20, '\0')};
  for (size_t i = 0; i < cover.value.size(); ++i) {
    cover.value[i] = static_cast<char>(i * 7 + i / 4093);
  }
  for (size_t cover_at : {0, 1, 2}) {
    std::vector<TApeItem> items = {{"Title", 0, "Song"}, {"Artist", 0, "Band"}};
    items.insert(items.begin() + static_cast<ptrdiff_t>(cover_at), cover);
    write_all(fPath, sample_audio() + render_ape_tag(items));

    io_counters() = {};
    TTagFileView view;
    ASSERT_EQ(load_tag_file(fPath.c_str(), true, &view), kApeSuccess);
    // The head, the end, one chunk of items, and one more past a cover that comes first.
    EXPECT_LE(io_counters().bytes_read, 3 * kItemsChunkBytes) << cover_at;
    EXPECT_LE(io_counters().read_calls, 6u) << cover_at;
    ASSERT_EQ(view.region.items.size(), 3u);
    EXPECT_TRUE(view.region.items[cover_at].IsUnread());
    // Offsets of one read mean nothing to another save.
    EXPECT_EQ(save_tag_file(fPath.c_str(), true, view.region.items, false),
              kApeErrorInvalidArgument);

    TTagFields fields(view.region.items);
    ASSERT_EQ(fields.Put("Title", "New title", 0), kApeSuccess);
    TTagFields saved;
    ASSERT_EQ(save_tag_changes(fPath.c_str(), true, fields, &saved), kApeSuccess);
    items[cover_at == 0 ? 1 : 0].value = "New title";
    EXPECT_TRUE(read_all(fPath) == sample_audio() + render_ape_tag(items)) << cover_at;

    // A new cover over one left unread takes its place.
    ASSERT_EQ(saved.Put("cover art (front)", "tiny", kApeItemBinary), kApeSuccess);
    ASSERT_EQ(save_tag_changes(fPath.c_str(), true, saved, &saved), kApeSuccess);
    items[cover_at].value = "tiny";
    EXPECT_TRUE(read_all(fPath) == sample_audio() + render_ape_tag(items)) << cover_at;
  }
}

// Every field of `path` removed, stopped after the journal and half of the new block.
void stop_save(const std::string& path) {
  TFileDescriptor file;
  EXPECT_EQ(file.OpenRegular(path.c_str(), O_RDWR), 0);
  TTagFileView view;
  EXPECT_EQ(load_tag_file(path.c_str(), false, &view), kApeSuccess);
  TSavePlan plan;
  EXPECT_EQ(plan_tag_save(view.region, view.file_size, {}, true, &plan), kApeSuccess);
  EXPECT_EQ(begin_journal(path, file, plan), kApeSuccess);
  EXPECT_EQ(file.WriteAt(plan.start, TByteSpan(plan.block).first(plan.block.size() / 2)), 0);
}

// A record whose bytes do not all hold (a payload byte flipped, the record cut short, its header
// flipped) is never applied: the file stays as the stop left it, and the record goes. Stops
// anywhere else, and records torn by a power cut, the crash explorer (tests/stress) makes.
TEST_F(SaveJournal, ARecordIsAppliedOnlyWhenAllItsBytesHold) {
  const TBytes image = sample_audio() + render_ape_tag({{"Title", 0, "t"}, kCover}) +
                       text_bytes("LYRICSBEGIN") + TBytes(300, 'l') +
                       text_bytes("000311LYRICS200") + id3v1_bytes("v1");
  for (void (*edit)(TBytes&) : {+[](TBytes& j) { j[200] ^= 1; }, +[](TBytes& j) { j.pop_back(); },
                                +[](TBytes& j) { j[40] ^= 1; }}) {
    write_all(fPath, image);
    stop_save(fPath);
    TBytes journal = read_all(journal_path(fPath));
    edit(journal);
    write_all(journal_path(fPath), journal);
    const TBytes torn = read_all(fPath);
    TTagFileView view;
    ASSERT_EQ(load_tag_file(fPath.c_str(), false, &view), kApeSuccess);
    EXPECT_EQ(read_all(fPath), torn);
    EXPECT_FALSE(std::filesystem::exists(journal_path(fPath)));
  }
}

// What each shape of save costs: a change inside one page is one write and one fdatasync; a
// removal one cut and one fdatasync; anything else goes through a journal ("s": its fsync and its
// folder's). The kinds of call are shown in order, repeats once; that the journal's calls come in
// an order no stop can harm, the crash explorer (tests/stress) proves.
TEST_F(SaveJournal, EachShapeMakesItsCallsInTheSafeOrder) {
  struct TCase {
    const char* name;
    std::vector<TApeItem> before, after;
    const char* calls;
  } cases[] = {
      {"a field of the same length", {{"Title", 0, "abc"}}, {{"Title", 0, "xyz"}}, "wd"},
      {"a small tag growing", {{"Title", 0, "abc"}}, {{"Title", 0, "abcdef"}}, "wd"},
      {"the tag removed", {{"Title", 0, "abc"}}, {}, "td"},
      {"a small tag shrinking", {{"Title", 0, "abcdef"}}, {{"Title", 0, "a"}}, "wswtd"},
      {"a field before a cover", {{"Title", 0, "a"}, kCover}, {{"Title", 0, "b"}, kCover}, "wd"},
      {"a field before a cover made longer",
       {{"Title", 0, "a"}, kCover},
       {{"Title", 0, "bb"}, kCover},
       "wswtd"},
  };
  for (const TCase& c : cases) {
    write_all(fPath, sample_audio() + render_ape_tag(c.before));
    std::string calls;
    io_counters().calls = &calls;
    EXPECT_EQ(save_tag_file(fPath.c_str(), false, c.after, c.after.empty()), kApeSuccess);
    io_counters().calls = nullptr;
    calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
    EXPECT_EQ(calls, c.calls) << c.name;
    EXPECT_EQ(read_all(fPath), sample_audio() + render_ape_tag(c.after)) << c.name;
    EXPECT_FALSE(std::filesystem::exists(journal_path(fPath))) << c.name;
  }
  // A folder that cannot be written refuses the journaled saves and nothing else.
  write_all(fPath, sample_audio() + render_ape_tag(cases[3].before));
  ASSERT_EQ(mkdir(journal_path(fPath).c_str(), 0700), 0);  // the journal's name is taken
  EXPECT_EQ(save_tag_file(fPath.c_str(), false, cases[3].after, false), kApeErrorWriteFile);
  EXPECT_EQ(read_all(fPath), sample_audio() + render_ape_tag(cases[3].before));
  EXPECT_EQ(save_tag_file(fPath.c_str(), false, {{"Title", 0, "abcdeg"}}, false), kApeSuccess);
}

// A tag inside the audio: a file that ends in bytes that are no tag lists no tag, and a save puts
// its tag after them, whatever they claim. (Files ending in an earlier copy's trailer, a journal's
// bytes or an appended ID3v2 tag, the crash explorer saves through the program.)
TEST_F(SaveJournal, FilesEndingInAnyBytesNeverCostAnAudioByte) {
  TBytes tag_in_last_frame = old_stream(0) + render_ape_tag({{"Title", 0, "frame"}});
  tag_in_last_frame.resize(2 * 4096, 0x6B);  // two whole pages
  const TBytes cases[] = {
      // An old-layout file of whole pages whose last frame holds a tag.
      tag_in_last_frame,
      // An ID3v1 tag inside the WAV tail of an old-layout file.
      old_stream(500, "", 200) + id3v1_bytes("in the WAV"),
  };
  const std::vector<TApeItem> alice = {{"Artist", 0, "Alice"}};
  for (const TBytes& image : cases) {
    const size_t row = static_cast<size_t>(&image - cases);
    write_all(fPath, image);
    TTagFileView view;
    ASSERT_EQ(load_tag_file(fPath.c_str(), true, &view), kApeSuccess) << row;
    EXPECT_TRUE(view.region.items.empty()) << row;
    ASSERT_EQ(save_tag_file(fPath.c_str(), true, alice, false), kApeSuccess) << row;
    EXPECT_EQ(read_all(fPath), image + render_ape_tag(alice)) << row;
    ASSERT_EQ(save_tag_file(fPath.c_str(), true, {}, true), kApeSuccess) << row;
    EXPECT_EQ(read_all(fPath), image) << row;
  }
}

// The built libMonkeysAudio.so through dlopen, loaded once and kept for the whole run.
template <typename T>
T bind(const char* name) {
  static void* const library = dlopen(QUILLET_MONKEYS_AUDIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return library ? reinterpret_cast<T>(dlsym(library, name)) : nullptr;
}

// Only the entry points are exported (here parse_ape_items(TByteSpan, uint32_t), as mangled, is
// not); a file that is no Monkey's Audio file opens no object; a read-only view is never saved
// over, the file keeping every byte.
TEST_F(MonkeysAudioLibrary, HidesItsInternalsAndRefusesWhatItCannotDoSafely) {
  ASSERT_NE(bind<void*>("CreateIAPEDecompress"), nullptr) << dlerror();
  EXPECT_EQ(bind<void*>("_Z15parse_ape_itemsSt4spanIKhLm18446744073709551615EEj"), nullptr);
  write_all(fPath, TBytes(sample_audio().begin(), sample_audio().begin() + 60));
  int error = -1;
  const std::unique_ptr<IAPEDecompress> opened(
      bind<create_iapedecompress_t>("CreateIAPEDecompress")(fPath.c_str(), &error));
  EXPECT_EQ(opened, nullptr);
  EXPECT_EQ(error, kApeErrorInvalidFormat);

  const TBytes before = sample_audio() + render_ape_tag({{"Title", 0, "Intro"}});
  write_all(fPath, before);
  CAPETag* viewer = bind<create_capetag_2_t>("create_capetag_2")(fPath.c_str(), 1);
  ASSERT_TRUE(viewer);
  char title[8];
  int size = sizeof title;
  EXPECT_EQ(viewer->FetchField("Title", title, &size), kApeSuccess);
  EXPECT_STREQ(title, "Intro");
  EXPECT_EQ(viewer->PutField("Year", "2002", -1, 0), kApeSuccess);
  EXPECT_EQ(viewer->SaveTag(0), kApeErrorReadOnly);
  bind<destroy_capetag_t>("destroy_capetag")(viewer);
  EXPECT_EQ(read_all(fPath), before);
}

}  // namespace
