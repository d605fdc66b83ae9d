// Drives the built libMonkeysAudio.so through dlopen and the shared interface header, on copies
// of real files.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/test_support.h"

namespace {

// The library under test, loaded once and kept for the whole run.
void* library() {
  static void* const handle = dlopen(QUILLET_MONKEYS_AUDIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <typename T>
T bind(const char* name) {
  return reinterpret_cast<T>(dlsym(library(), name));
}

struct TDeleter {
  void operator()(IAPEDecompress* object) const { delete object; }
};
using TDecompressor = std::unique_ptr<IAPEDecompress, TDeleter>;

TDecompressor open_ape(const std::string& path, int* error = nullptr) {
  int ignored = 0;
  return TDecompressor(bind<create_iapedecompress_t>("CreateIAPEDecompress")(
      path.c_str(), error ? error : &ignored));
}

CAPETag* tag_of(const TDecompressor& decompressor) {
  return reinterpret_cast<CAPETag*>(decompressor->QueryInfo(kApeInfoTag, 0, 0));
}

std::string fetch(CAPETag* tag, const char* field) {
  char buffer[2048];
  int size = sizeof buffer;
  tag->FetchField(field, buffer, &size);
  return buffer;
}

TBytes prefix(const TBytes& bytes, size_t size) {
  return TBytes(bytes.begin(), bytes.begin() + size);
}

constexpr size_t kAudioEnd = 85212;  // taglib/mac-399.ape holds audio only

TEST(MonkeysAudioLibrary, ExportsTheEntryPointsAndRefusesAudioCoding) {
  ASSERT_NE(library(), nullptr) << dlerror();
  const char* version = bind<lib_monkeys_audio_text_t>("lib_monkeys_audio_version")();
  EXPECT_GE(std::strtod(version + 4, nullptr), 1.4);
  EXPECT_GT(std::strlen(bind<lib_monkeys_audio_text_t>("lib_monkeys_audio_components")()), 0u);
  int percent = 0, kill = 0;
  EXPECT_EQ(bind<compress_file_t>("CompressFile")("a", "b", 2000, &percent, nullptr, &kill),
            kApeErrorUnsupported);
  EXPECT_EQ(bind<decompress_file_t>("DecompressFile")("a", "b", &percent, nullptr, &kill),
            kApeErrorUnsupported);
  EXPECT_EQ(bind<void*>("parse_ape_items"), nullptr);  // internals stay hidden
}

TEST(MonkeysAudioLibrary, OpensOnlyMonkeysAudioFiles) {
  TTempDir dir;
  const TBytes whole = read_all(fixture("taglib/mac-399.ape"));
  write_all(dir.File("cut-header.ape"), prefix(whole, 60));
  write_all(dir.File("cut-audio.ape"), prefix(whole, 5000));
  const std::pair<std::string, int> cases[] = {
      {fixture("taglib/mac-399-id3v2.ape"), kApeSuccess},
      {dir.File("cut-audio.ape"), kApeSuccess},
      {dir.File("cut-header.ape"), kApeErrorInvalidFormat},
      {fixture("taglib/tagged.wv"), kApeErrorInvalidFormat},
      {dir.File("missing.ape"), kApeErrorOpenFile},
      {dir.File(""), kApeErrorOpenFile},  // the folder itself
  };
  for (const auto& [path, expected] : cases) {
    int error = -1;
    EXPECT_EQ(open_ape(path, &error) != nullptr, expected == kApeSuccess) << path;
    EXPECT_EQ(error, expected) << path;
  }
  // A field longer than the caller's buffer is cut to fit.
  EXPECT_EQ(fetch(tag_of(open_ape(fixture("taglib/mac-399-tagged.ape"))), "title"),
            std::string(2047, 'x'));
}

// Writes through one decompressor and checks what a second one, opened while the first is
// still open, sees; and that the audio before the tag never changes.
TEST(MonkeysAudioLibrary, SavesKeepAudioAndTailAndShowInASecondObject) {
  TTempDir dir;
  const std::string path = dir.File("song.ape");
  const TBytes audio = read_all(fixture("taglib/mac-399.ape"));
  const TBytes id3 = id3v1_bytes("Old title", 8);
  const std::string picture("c.jpg\0\xFF\xD8", 8);
  const TBytes cover_item = item_bytes(8, kApeItemBinary, "Cover Art (Front)", picture);
  write_all(path, audio +
                      render_ape_tag({{"Cover Art (Front)", kApeItemBinary, picture},
                                      {"REPLAYGAIN_TRACK_GAIN", 0, "-6.48 dB"},
                                      {"TITLE", 0, "first"}}) +
                      id3);

  auto first = open_ape(path);
  ASSERT_TRUE(first);
  CAPETag* tag = tag_of(first);
  EXPECT_EQ(fetch(tag, "Title"), "first");
  const std::string long_title(1500, 't');
  struct TStep {
    const char* name;
    const char* title;  // null: erase everything
    bool keeps_others;
  } steps[] = {{"grow", long_title.c_str(), true},
               {"shrink", "short", true},
               {"remove", nullptr, false},
               {"write after remove", "again", false}};
  for (const TStep& step : steps) {
    if (step.title == nullptr) {
      EXPECT_EQ(tag->EraseTag(1), kApeSuccess);
    } else {
      EXPECT_EQ(tag->PutField("Title", step.title, -1, 0), kApeSuccess);
    }
    ASSERT_EQ(tag->SaveTag(0), kApeSuccess) << step.name;
    const TBytes now = read_all(path);
    ASSERT_TRUE(std::equal(audio.begin(), audio.end(), now.begin())) << step.name;

    auto second = open_ape(path);
    ASSERT_TRUE(second) << step.name;
    EXPECT_EQ(fetch(tag_of(second), "Title"), step.title ? step.title : "") << step.name;
    EXPECT_EQ(fetch(tag_of(second), "REPLAYGAIN_TRACK_GAIN"), step.keeps_others ? "-6.48 dB" : "")
        << step.name;
    if (step.keeps_others) {
      EXPECT_EQ(TBytes(now.end() - 128, now.end()), id3) << step.name;
      EXPECT_NE(std::search(now.begin(), now.end(), cover_item.begin(), cover_item.end()),
                now.end())
          << step.name << ": cover item kept byte for byte";
    }
  }
  EXPECT_EQ(read_all(path), audio + render_ape_tag({{"Title", 0, "again"}}));
}

TEST(MonkeysAudioLibrary, AStaleObjectSavesAtTheTagsCurrentPlace) {
  TTempDir dir;
  const std::string path = dir.File("song.ape");
  const TBytes audio = read_all(fixture("taglib/mac-399.ape"));
  write_all(path, audio);
  auto first = open_ape(path);
  auto second = open_ape(path);
  tag_of(second)->PutField("Comment", std::string(3000, 'c').c_str(), -1, 0);
  ASSERT_EQ(tag_of(second)->SaveTag(0), kApeSuccess);
  tag_of(first)->PutField("Title", "mine", -1, 0);
  ASSERT_EQ(tag_of(first)->SaveTag(0), kApeSuccess);  // replaces, never stacks a second tag
  EXPECT_EQ(read_all(path), audio + render_ape_tag({{"Title", 0, "mine"}}));
}

TEST(MonkeysAudioLibrary, RefusesSavesItCannotMakeSafely) {
  TTempDir dir;
  const TBytes audio = read_all(fixture("taglib/mac-399.ape"));
  const TBytes broken = audio + item_bytes(5, 0, "Title", "Intro") + item_bytes(1, 0, "\x01", "x") +
                        tag_block(2000, 62, 2, 0x80000000);
  const std::string damaged = dir.File("damaged.ape");
  write_all(damaged, broken);
  auto opened = open_ape(damaged);
  ASSERT_TRUE(opened);
  EXPECT_EQ(fetch(tag_of(opened), "Title"), "Intro");
  tag_of(opened)->PutField("Year", "2002", -1, 0);
  EXPECT_EQ(tag_of(opened)->SaveTag(0), kApeErrorBadTag);
  EXPECT_EQ(read_all(damaged), broken);
  tag_of(opened)->EraseTag(1);
  EXPECT_EQ(tag_of(opened)->SaveTag(0), kApeSuccess);  // dropped on purpose: may go
  EXPECT_EQ(read_all(damaged), audio);

  auto create_tag = bind<create_capetag_2_t>("create_capetag_2");
  auto destroy_tag = bind<destroy_capetag_t>("destroy_capetag");
  CAPETag* viewer = create_tag(damaged.c_str(), 1);
  ASSERT_NE(viewer, nullptr);
  viewer->PutField("Title", "x", -1, 0);
  EXPECT_EQ(viewer->SaveTag(0), kApeErrorReadOnly);
  destroy_tag(viewer);
  EXPECT_EQ(create_tag(dir.File("missing").c_str(), 0), nullptr);
}

}  // namespace
