#include "codec/lib_monkeys_audio.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "option/console_test_support.h"

namespace {

namespace fs = std::filesystem;

// Each test gets a HOME of its own; a library is "installed" by copying it into the user's
// library folder there.
class LibMonkeysAudioLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(fHome.Path().empty());
    setenv("HOME", fHome.Path().c_str(), 1);
  }
  void TearDown() override { unload_lib_monkeys_audio(&fImage); }
  fs::path Installed() const { return fs::path(fHome.Path()) / ".local/lib/libMonkeysAudio.so"; }
  void Install(const char* library) {
    fs::create_directories(Installed().parent_path());
    fs::remove(Installed());
    fs::copy_file(library, Installed());
  }

  TTempFolder fHome;
  long fImage = -1;
};

TEST_F(LibMonkeysAudioLoader, LoadsAndBindsEveryEntryAndUnloadsOnce) {
  EXPECT_EQ(path_name_lib_monkeys_audio(), Installed().string());
  EXPECT_EQ(load_lib_monkeys_audio(&fImage), -1);  // nothing installed yet
  EXPECT_LT(fImage, 0);

  Install(FAKE_LMA_140);
  ASSERT_EQ(load_lib_monkeys_audio(&fImage), 0);
  ASSERT_EQ(get_lib_monkeys_audio_entries(fImage), 0);
  EXPECT_STREQ(lma::lib_monkeys_audio_name(), "Fake Monkey's Audio");
  int error = 0;
  EXPECT_EQ(lma::create_iapedecompress("x.ape", &error), nullptr);
  EXPECT_EQ(error, 1000);

  unload_lib_monkeys_audio(&fImage);
  EXPECT_EQ(fImage, -1);
  unload_lib_monkeys_audio(&fImage);  // a second time: nothing happens
  EXPECT_EQ(fImage, -1);
  unload_lib_monkeys_audio(nullptr);
}

TEST_F(LibMonkeysAudioLoader, RefusesALibraryWithoutItsLastEntry) {
  lma::verify_file = nullptr;
  Install(FAKE_LMA_NO_VERIFY);
  ASSERT_EQ(load_lib_monkeys_audio(&fImage), 0);
  EXPECT_EQ(get_lib_monkeys_audio_entries(fImage), -1);
  EXPECT_EQ(lma::verify_file, nullptr);
}

TEST_F(LibMonkeysAudioLoader, ChecksTheVersionOfTheLoadedLibrary) {
  const std::pair<const char*, int> cases[] = {
      {FAKE_LMA_139, -1}, {FAKE_LMA_140, 0}, {FAKE_LMA_397, 0}};
  for (const auto& [library, expected] : cases) {
    Install(library);
    ASSERT_EQ(load_lib_monkeys_audio(&fImage), 0) << library;
    ASSERT_EQ(get_lib_monkeys_audio_entries(fImage), 0) << library;
    EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), expected) << library;
    unload_lib_monkeys_audio(&fImage);
  }
}

const char* gVersionText = nullptr;

TEST(LibMonkeysAudioVersion, ReadsTheNumberAfterFourCharacters) {
  // Blanks after the prefix are skipped; "Ver1.50" reads ".50".
  const std::pair<const char*, int> cases[] = {
      {"Ver 1.4", 0},          {"Ver 1.399", -1}, {"Ver   2", 0},  {"Ver1.50", -1}, {"Ver x", -1},
      {"Ver 12.10 (2024)", 0}, {"Ver", -1},       {"Ver nan", -1}, {nullptr, -1}};
  lma::lib_monkeys_audio_version = [] { return gVersionText; };
  for (const auto& [text, expected] : cases) {
    gVersionText = text;
    EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), expected) << (text ? text : "(null)");
  }
  lma::lib_monkeys_audio_version = nullptr;
  EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), -1);
}

}  // namespace
