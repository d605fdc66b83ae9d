#include "platform/monkeysaudio/file/tag_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <map>

#include "platform/monkeysaudio/core/save_journal.h"
#include "platform/monkeysaudio/file/file_io.h"
#include "platform/monkeysaudio/file/journal_file.h"
#include "tests/monkeysaudio/io_counting.h"
#include "tests/monkeysaudio/test_support.h"

namespace {

const TApeItem kCover{"Cover Art (Front)", kApeItemBinary, std::string(20 << 10, 'c')};

// What a listing of `image` shows, from a file of its own: the listing changes nothing when no
// journal is beside it.
TTagFileView listed(const TBytes& image, bool require_header = false) {
  TTempDir dir;
  write_all(dir.File("listed.ape"), image);
  TTagFileView view;
  EXPECT_EQ(load_tag_file(dir.File("listed.ape").c_str(), require_header, &view), kApeSuccess);
  return view;
}

// A FIFO is decided on without waiting for a writer.
TEST(TagFile, FifosDoNotHang) {
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
}

// A 1 GiB file (sparse) whose last bytes are a tag: reading and saving it must touch only its
// two ends.
TEST(TagFile, CostDoesNotGrowWithTheFile) {
  SKIP_WITHOUT_FIXTURES();
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
  EXPECT_GT(io_counters().bytes_read, 0u);  // else the counting wrap counts nothing

  io_counters() = {};
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "b"}}, false), kApeSuccess);
  // The old tag into the journal with its header, then the new tag in place.
  const uint64_t new_tag = render_ape_tag({{"Title", 0, "b"}}).size();
  EXPECT_LE(io_counters().bytes_written,
            render_ape_tag({{"Title", 0, "big"}}).size() + kJournalHeaderBytes + new_tag);
  EXPECT_LE(io_counters().bytes_read, 256u << 10);
  EXPECT_EQ(std::filesystem::file_size(path), size + new_tag);
}

// Cover art wherever it stands among the items: a listing reads the file's ends, the item
// headers and the text, never the cover; a save of another field reads the cover back and
// keeps it byte for byte.
TEST(TagFile, ListingsSkipCoverArtAndSavesKeepIt) {
  SKIP_WITHOUT_FIXTURES();
  TTempDir dir;
  const std::string path = dir.File("cover.ape");
  TApeItem cover{"Cover Art (Front)", kApeItemBinary, std::string(4 << 20, '\0')};
  for (size_t i = 0; i < cover.value.size(); ++i) {
    cover.value[i] = static_cast<char>(i * 7 + i / 4093);
  }
  for (size_t cover_at : {0, 1, 2}) {
    std::vector<TApeItem> items = {{"Title", 0, "Song"}, {"Artist", 0, "Band"}};
    items.insert(items.begin() + static_cast<ptrdiff_t>(cover_at), cover);
    write_all(path, sample_audio() + render_ape_tag(items));

    io_counters() = {};
    TTagFileView view;
    ASSERT_EQ(load_tag_file(path.c_str(), true, &view), kApeSuccess);
    // The head, the end, one chunk of items, and one more past a cover that comes first.
    EXPECT_LE(io_counters().bytes_read, 3 * kItemsChunkBytes) << cover_at;
    EXPECT_LE(io_counters().read_calls, 6u) << cover_at;
    ASSERT_EQ(view.region.items.size(), 3u);
    EXPECT_TRUE(view.region.items[cover_at].IsUnread());
    // Offsets of one read mean nothing to another save.
    EXPECT_EQ(save_tag_file(path.c_str(), true, view.region.items, false),
              kApeErrorInvalidArgument);

    TTagFields fields(view.region.items);
    ASSERT_EQ(fields.Put("Title", "New title", 0), kApeSuccess);
    TTagFields saved;
    ASSERT_EQ(save_tag_changes(path.c_str(), true, fields, &saved), kApeSuccess);
    items[cover_at == 0 ? 1 : 0].value = "New title";
    EXPECT_TRUE(read_all(path) == sample_audio() + render_ape_tag(items)) << cover_at;

    // A new cover over one left unread takes its place.
    ASSERT_EQ(saved.Put("cover art (front)", "tiny", kApeItemBinary), kApeSuccess);
    ASSERT_EQ(save_tag_changes(path.c_str(), true, saved, &saved), kApeSuccess);
    items[cover_at].value = "tiny";
    EXPECT_TRUE(read_all(path) == sample_audio() + render_ape_tag(items)) << cover_at;
  }
}

// How far a save of `items` over the file at `path` got before it was stopped: its journal
// written and synced, then `written` bytes of its block in place (all of it for ~0), then the
// file cut to its new size when `cut` (reached before the block by a power cut that keeps the
// cut and loses the data). Runs recovery first, as a save does. Returns the plan.
TSavePlan stop_save(const std::string& path, const std::vector<TApeItem>& items, bool erased,
                    uint64_t written, bool cut) {
  TFileDescriptor file;
  EXPECT_EQ(file.OpenRegular(path.c_str(), O_RDWR), 0);
  EXPECT_EQ(recover_interrupted_save(path, file), kApeSuccess);
  TTagFileView view;
  EXPECT_EQ(load_tag_file(path.c_str(), false, &view), kApeSuccess);
  TSavePlan plan;
  EXPECT_EQ(plan_tag_save(view.region, view.file_size, items, erased, &plan), kApeSuccess);
  EXPECT_EQ(begin_journal(path, file, plan), kApeSuccess);
  const TByteSpan block(plan.block);
  EXPECT_EQ(file.WriteAt(plan.start, block.first(std::min<uint64_t>(written, block.size()))), 0);
  if (cut) {
    EXPECT_EQ(file.Truncate(plan.start + plan.block.size()), 0);
  }
  return plan;
}

struct TCrashCase {
  const char* name;
  TBytes image;
  std::vector<TApeItem> items;
  bool erased;
};

// A large tag whose journal is copied in chunks, a removal that keeps the lyrics, a tag that grows.
// The crash explorer (tests/stress) stops the program's saves of every other shape.
std::vector<TCrashCase> crash_cases() {
  const TApeItem big_cover{"Cover Art (Front)", kApeItemBinary, std::string(24 << 20, 'C')};
  const TBytes lyrics =
      text_bytes("LYRICSBEGIN") + TBytes(300, 'l') + text_bytes("000311LYRICS200");
  const TApeItem title{"Title", 0, "t"};
  return {
      {"a cover of 24 MB, the title made longer",
       sample_audio() + render_ape_tag({title, big_cover}),
       std::vector<TApeItem>{{"Title", 0, "a longer title"}, big_cover}, false},
      {"lyrics and ID3v1 after a tag with a cover, every field removed",
       sample_audio() + render_ape_tag({title, kCover}) + lyrics + id3v1_bytes("v1"),
       std::vector<TApeItem>(), true},
      {"a cover added", sample_audio() + render_ape_tag({title}),
       std::vector<TApeItem>{title, kCover}, false},
  };
}

// A save stopped anywhere (a kill between its calls or inside its write, a power cut that keeps
// some of its writes) is finished or undone by the next listing: the file is then exactly the
// old image or the new one, its journal gone, and the listing shows that image's tag.
TEST(SaveJournal, AnyStopIsFinishedOrUndoneByTheNextListing) {
  SKIP_WITHOUT_FIXTURES();
  for (const TCrashCase& c : crash_cases()) {
    TTempDir dir;
    const std::string path = dir.File("song.ape");
    write_all(path, c.image);
    ASSERT_EQ(save_tag_file(path.c_str(), false, c.items, c.erased), kApeSuccess);
    const TBytes new_image = read_all(path);
    ASSERT_NE(new_image, c.image) << c.name;
    const TTagRegion old_region = listed(c.image).region;
    const std::vector<TApeItem> new_items = listed(new_image).region.items;
    const uint64_t block = new_image.size() - old_region.start;  // what the save writes
    // The large tag only where its size matters: torn in the middle of its write.
    const bool large = c.image.size() > (1 << 20);
    for (uint64_t written : {uint64_t{0}, uint64_t{1}, block / 2, ~uint64_t{0}}) {
      for (bool cut : {false, true}) {
        if (large && (written != block / 2 || cut)) {
          continue;
        }
        write_all(path, c.image);
        const TSavePlan plan = stop_save(path, c.items, c.erased, written, cut);
        const bool whole = written >= plan.block.size() &&
                           (cut || plan.start + plan.block.size() >= plan.old_size);
        TTagFileView view;
        ASSERT_EQ(load_tag_file(path.c_str(), false, &view), kApeSuccess) << c.name;
        const TBytes after = read_all(path);
        EXPECT_TRUE(after == (whole ? new_image : c.image)) << c.name << " " << written << cut;
        EXPECT_EQ(view.region.items, whole ? new_items : old_region.items) << c.name;
        EXPECT_FALSE(std::filesystem::exists(journal_path(path))) << c.name;
      }
    }
  }
}

// A record whose bytes do not all hold (a payload byte flipped, the record cut short, its header
// flipped) is never applied: the file stays as the stop left it, and the record goes.
TEST(SaveJournal, ARecordIsAppliedOnlyWhenAllItsBytesHold) {
  SKIP_WITHOUT_FIXTURES();
  const TCrashCase c = crash_cases()[1];
  TTempDir dir;
  const std::string path = dir.File("song.ape");
  for (void (*edit)(TBytes&) : {+[](TBytes& j) { j[200] ^= 1; }, +[](TBytes& j) { j.pop_back(); },
                                +[](TBytes& j) { j[40] ^= 1; }}) {
    write_all(path, c.image);
    stop_save(path, c.items, c.erased, 2000, false);
    TBytes journal = read_all(journal_path(path));
    edit(journal);
    write_all(journal_path(path), journal);
    const TBytes torn = read_all(path);
    TTagFileView view;
    ASSERT_EQ(load_tag_file(path.c_str(), false, &view), kApeSuccess);
    EXPECT_EQ(read_all(path), torn);
    EXPECT_FALSE(std::filesystem::exists(journal_path(path)));
  }
}

// What each shape of save costs, and the order that makes it safe: a change inside one page is
// one write and one fdatasync; a removal one cut and one fdatasync; anything else writes and
// syncs its journal, and the folder that names it, before the audio file is touched. The calls
// are shown in order, repeated calls of one kind on one file once: "A" the audio file, "J" its
// journal, "F" the folder.
TEST(SaveJournal, EachShapeMakesItsCallsInTheSafeOrder) {
  SKIP_WITHOUT_FIXTURES();
  TTempDir dir;
  const std::string path = dir.File("song.ape");
  struct TCase {
    const char* name;
    std::vector<TApeItem> before, after;
    const char* calls;
  } cases[] = {
      {"a field of the same length", {{"Title", 0, "abc"}}, {{"Title", 0, "xyz"}}, "wA dA"},
      {"a small tag growing", {{"Title", 0, "abc"}}, {{"Title", 0, "abcdef"}}, "wA dA"},
      {"the tag removed", {{"Title", 0, "abc"}}, {}, "tA dA"},
      {"a small tag shrinking", {{"Title", 0, "abcdef"}}, {{"Title", 0, "a"}}, "wJ sJ sF wA tA dA"},
      {"a field before a cover", {{"Title", 0, "a"}, kCover}, {{"Title", 0, "b"}, kCover}, "wA dA"},
      {"a field before a cover made longer",
       {{"Title", 0, "a"}, kCover},
       {{"Title", 0, "bb"}, kCover},
       "wJ sJ sF wA tA dA"},
  };
  for (const TCase& c : cases) {
    write_all(path, sample_audio() + render_ape_tag(c.before));
    std::vector<std::pair<char, int>> calls;
    io_counters().calls = &calls;
    EXPECT_EQ(save_tag_file(path.c_str(), false, c.after, c.after.empty()), kApeSuccess);
    io_counters().calls = nullptr;
    std::map<int, char> names;  // the first file synced other than the audio is the journal
    std::string shown;
    for (const auto& [kind, fd] : calls) {
      if (kind == 's') {
        names.emplace(fd, names.empty() ? 'J' : 'F');
      }
    }
    for (const auto& [kind, fd] : calls) {
      const std::string call = std::string(1, kind) + (names.count(fd) ? names[fd] : 'A');
      if (!shown.ends_with(call)) {
        shown += (shown.empty() ? "" : " ") + call;
      }
    }
    EXPECT_EQ(shown, c.calls) << c.name;
    EXPECT_EQ(read_all(path), sample_audio() + render_ape_tag(c.after)) << c.name;
    EXPECT_FALSE(std::filesystem::exists(journal_path(path))) << c.name;
  }
  // A folder that cannot be written refuses the journaled saves and nothing else.
  write_all(path, sample_audio() + render_ape_tag(cases[3].before));
  ASSERT_EQ(mkdir(journal_path(path).c_str(), 0700), 0);  // the journal's name is taken
  EXPECT_EQ(save_tag_file(path.c_str(), false, cases[3].after, false), kApeErrorWriteFile);
  EXPECT_EQ(read_all(path), sample_audio() + render_ape_tag(cases[3].before));
  EXPECT_EQ(save_tag_file(path.c_str(), false, {{"Title", 0, "abcdeg"}}, false), kApeSuccess);
}

// A tag inside the audio: a file that ends in bytes that are no tag lists no tag, and a save puts
// its tag after them, whatever they claim. (Files ending in an earlier copy's trailer, a journal's
// bytes or an appended ID3v2 tag, the crash explorer saves through the program.)
TEST(SaveJournal, FilesEndingInAnyBytesNeverCostAnAudioByte) {
  SKIP_WITHOUT_FIXTURES();
  TBytes tag_in_last_frame = old_stream(0) + render_ape_tag({{"Title", 0, "frame"}});
  tag_in_last_frame.resize(2 * 4096, 0x6B);  // two whole pages
  const TBytes cases[] = {
      // An old-layout file of whole pages whose last frame holds a tag.
      tag_in_last_frame,
      // An ID3v1 tag inside the WAV tail of an old-layout file.
      old_stream(500, "", 200) + id3v1_bytes("in the WAV"),
  };
  const std::vector<TApeItem> alice = {{"Artist", 0, "Alice"}};
  TTempDir dir;
  const std::string path = dir.File("song.ape");
  for (const TBytes& image : cases) {
    const size_t row = static_cast<size_t>(&image - cases);
    EXPECT_TRUE(listed(image, true).region.items.empty()) << row;
    write_all(path, image);
    ASSERT_EQ(save_tag_file(path.c_str(), true, alice, false), kApeSuccess) << row;
    EXPECT_EQ(read_all(path), image + render_ape_tag(alice)) << row;
    ASSERT_EQ(save_tag_file(path.c_str(), true, {}, true), kApeSuccess) << row;
    EXPECT_EQ(read_all(path), image) << row;
  }
}

}  // namespace
