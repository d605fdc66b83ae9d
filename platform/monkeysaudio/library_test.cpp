// Drives the built libMonkeysAudio.so through dlopen and the shared interface header, on copies
// of real files.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

#include "codec/monkeys_audio.h"
#include "tests/monkeysaudio/test_support.h"

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

// Only the entry points are exported; a file that is no Monkey's Audio file opens no object; a
// read-only view is never saved over, the file keeping every byte. What the program makes of the
// library's answers, and that a damaged tag is not saved over either, the end-to-end tests, the
// save plan's tests and the README's script through the program check.
TEST(MonkeysAudioLibrary, HidesItsInternalsAndRefusesWhatItCannotDoSafely) {
  SKIP_WITHOUT_FIXTURES();
  ASSERT_NE(library(), nullptr) << dlerror();
  EXPECT_EQ(bind<void*>("parse_ape_items"), nullptr);
  TTempDir dir;
  const std::string path = dir.File("song.ape");
  write_all(path, TBytes(sample_audio().begin(), sample_audio().begin() + 60));
  int error = -1;
  const std::unique_ptr<IAPEDecompress> opened(
      bind<create_iapedecompress_t>("CreateIAPEDecompress")(path.c_str(), &error));
  EXPECT_EQ(opened, nullptr);
  EXPECT_EQ(error, kApeErrorInvalidFormat);

  const TBytes before = sample_audio() + render_ape_tag({{"Title", 0, "Intro"}});
  write_all(path, before);
  CAPETag* viewer = bind<create_capetag_2_t>("create_capetag_2")(path.c_str(), 1);
  ASSERT_TRUE(viewer);
  char title[8];
  int size = sizeof title;
  EXPECT_EQ(viewer->FetchField("Title", title, &size), kApeSuccess);
  EXPECT_STREQ(title, "Intro");
  EXPECT_EQ(viewer->PutField("Year", "2002", -1, 0), kApeSuccess);
  EXPECT_EQ(viewer->SaveTag(0), kApeErrorReadOnly);
  bind<destroy_capetag_t>("destroy_capetag")(viewer);
  EXPECT_EQ(read_all(path), before);
}

}  // namespace
