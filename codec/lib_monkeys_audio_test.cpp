#include "codec/lib_monkeys_audio.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class TCaptureOutput {
 public:
  TCaptureOutput() : fOld(std::cout.rdbuf(fText.rdbuf())) {}
  ~TCaptureOutput() { std::cout.rdbuf(fOld); }
  std::string Text() const { return fText.str(); }

 private:
  std::ostringstream fText;
  std::streambuf* fOld;
};

void reset_entries() {
  lma::lib_monkeys_audio_name = nullptr;
  lma::lib_monkeys_audio_version = nullptr;
  lma::lib_monkeys_audio_copyright = nullptr;
  lma::lib_monkeys_audio_components = nullptr;
  lma::create_iapedecompress = nullptr;
  lma::create_capetag_1 = nullptr;
  lma::create_capetag_2 = nullptr;
  lma::destroy_capetag = nullptr;
  lma::compress_file = nullptr;
  lma::decompress_file = nullptr;
  lma::verify_file = nullptr;
}

// Each test gets a HOME of its own; a library is "installed" by copying it into the user's
// library folder there.
class LibMonkeysAudioLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-loader-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fHome = folder_template;
    setenv("HOME", fHome.c_str(), 1);
    reset_entries();
  }
  void TearDown() override {
    unload_lib_monkeys_audio(&fImage);
    fs::remove_all(fHome);
  }
  void Install(const char* library) {
    fs::create_directories(fHome / ".local/lib");
    fs::copy_file(library, fHome / ".local/lib/libMonkeysAudio.so");
  }

  fs::path fHome;
  long fImage = -1;
};

TEST_F(LibMonkeysAudioLoader, LoadsAndBindsEveryEntry) {
  EXPECT_EQ(path_name_lib_monkeys_audio(), (fHome / ".local/lib/libMonkeysAudio.so").string());
  Install(FAKE_LMA_140);
  ASSERT_EQ(load_lib_monkeys_audio(&fImage), 0);
  EXPECT_GE(fImage, 0);
  ASSERT_EQ(get_lib_monkeys_audio_entries(fImage), 0);
  EXPECT_STREQ(lma::lib_monkeys_audio_name(), "Fake Monkey's Audio");
  int error = 0;
  EXPECT_EQ(lma::create_iapedecompress("x.ape", &error), nullptr);
  EXPECT_EQ(error, 1000);
  EXPECT_NE(lma::verify_file, nullptr);
  EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), 0);

  unload_lib_monkeys_audio(&fImage);
  EXPECT_EQ(fImage, -1);
  unload_lib_monkeys_audio(&fImage);  // a second time: nothing happens
  EXPECT_EQ(fImage, -1);
  EXPECT_NE(lma::verify_file, nullptr);  // left stale, never reset
}

TEST_F(LibMonkeysAudioLoader, RefusesALibraryWithoutItsLastEntry) {
  Install(FAKE_LMA_NO_VERIFY);
  ASSERT_EQ(load_lib_monkeys_audio(&fImage), 0);
  EXPECT_EQ(get_lib_monkeys_audio_entries(fImage), -1);
  // The ten entries before the missing one were bound.
  EXPECT_NE(lma::create_capetag_1, nullptr);
  EXPECT_NE(lma::create_iapedecompress, nullptr);
  EXPECT_NE(lma::decompress_file, nullptr);
  EXPECT_EQ(lma::verify_file, nullptr);

  TCaptureOutput output;
  exp_err_get_lib_monkeys_audio_entries();
  EXPECT_EQ(output.Text(), "ERROR: @Err_Get_Lib_Monkeys_Audio_Entries libMonkeysAudio.so@\n");
}

TEST_F(LibMonkeysAudioLoader, ChecksTheVersionOfTheLoadedLibrary) {
  struct Case {
    const char* library;
    int expected;
  };
  const Case cases[] = {{FAKE_LMA_139, -1}, {FAKE_LMA_140, 0}, {FAKE_LMA_397, 0}};
  for (const Case& c : cases) {
    fs::remove(fHome / ".local/lib/libMonkeysAudio.so");
    Install(c.library);
    ASSERT_EQ(load_lib_monkeys_audio(&fImage), 0) << c.library;
    ASSERT_EQ(get_lib_monkeys_audio_entries(fImage), 0) << c.library;
    EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), c.expected) << c.library;
    unload_lib_monkeys_audio(&fImage);
  }
  TCaptureOutput output;
  exp_err_check_lib_monkeys_audio_version();
  EXPECT_EQ(output.Text(), "ERROR: @Err_Check_Lib_Monkeys_Audio_Version libMonkeysAudio.so@\n");
}

const char* gVersionText = nullptr;
const char* version_text() {
  return gVersionText;
}

TEST(LibMonkeysAudioVersion, ReadsTheNumberAfterFourCharacters) {
  struct Case {
    const char* text;
    int expected;
  };
  // Blanks after the prefix are skipped; "Ver1.50" reads ".50".
  const Case cases[] = {
      {"Ver 1.4", 0},          {"Ver 1.40", 0}, {"Ver 1.399", -1}, {"Ver   2", 0}, {"Ver1.50", -1},
      {"Ver 12.10 (2024)", 0}, {"Ver x", -1},   {"Ver ", -1},      {"Ver", -1},    {"", -1},
      {"Ver nan", -1},         {nullptr, -1},
  };
  lma::lib_monkeys_audio_version = version_text;
  for (const Case& c : cases) {
    gVersionText = c.text;
    EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), c.expected) << (c.text ? c.text : "(null)");
  }
  lma::lib_monkeys_audio_version = nullptr;
  EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), -1);
}

TEST(LibMonkeysAudioUnload, WithoutALoadDoesNothing) {
  long image = -1;
  unload_lib_monkeys_audio(&image);
  EXPECT_EQ(image, -1);
  unload_lib_monkeys_audio(nullptr);
}

}  // namespace
