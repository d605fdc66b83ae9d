#include "codec/lib_monkeys_audio.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "option/console_test_support.h"

namespace {

namespace fs = std::filesystem;

// A library is "installed" by copying it into the user's library folder under a HOME of the
// test's own. Which failure the program reports for a library missing, incomplete or too old
// is the end-to-end test's.
TEST(LibMonkeysAudioLoader, LoadsAndBindsEveryEntryAndUnloadsOnce) {
  TTempFolder home;
  ASSERT_FALSE(home.Path().empty());
  setenv("HOME", home.Path().c_str(), 1);
  const auto install = [](const char* library) {
    const fs::path target = path_name_lib_monkeys_audio();
    fs::create_directories(target.parent_path());
    fs::copy_file(library, target);
  };
  long image = -1;
  install(FAKE_LMA_140);
  ASSERT_EQ(load_lib_monkeys_audio(&image), 0);
  ASSERT_EQ(get_lib_monkeys_audio_entries(image), 0);
  EXPECT_STREQ(lma::lib_monkeys_audio_name(), "Fake Monkey's Audio");
  EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), 0);
  unload_lib_monkeys_audio(&image);
  EXPECT_EQ(image, -1);
  unload_lib_monkeys_audio(&image);  // a second time: nothing happens
  EXPECT_EQ(image, -1);
  unload_lib_monkeys_audio(nullptr);

  // An unloaded image stays mapped, so another library comes from another HOME.
  TTempFolder other_home;
  setenv("HOME", other_home.Path().c_str(), 1);
  lma::verify_file = nullptr;
  install(FAKE_LMA_NO_VERIFY);
  ASSERT_EQ(load_lib_monkeys_audio(&image), 0);
  EXPECT_EQ(get_lib_monkeys_audio_entries(image), -1);  // its eleventh entry is missing
  EXPECT_EQ(lma::verify_file, nullptr);
  unload_lib_monkeys_audio(&image);
}

const char* gVersionText = nullptr;

TEST(LibMonkeysAudioVersion, ReadsTheNumberAfterFourCharacters) {
  // Blanks after the prefix are skipped; "Ver1.50" reads ".50".
  const std::pair<const char*, int> cases[] = {
      {"Ver 1.4", 0},          {"Ver 1.399", -1}, {"Ver   2", 0}, {"Ver1.50", -1},
      {"Ver 12.10 (2024)", 0}, {"Ver nan", -1},   {nullptr, -1}};
  lma::lib_monkeys_audio_version = [] { return gVersionText; };
  for (const auto& [text, expected] : cases) {
    gVersionText = text;
    EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), expected) << (text ? text : "(null)");
  }
  lma::lib_monkeys_audio_version = nullptr;
  EXPECT_EQ(check_lib_monkeys_audio_version(1.4f), -1);
}

}  // namespace
