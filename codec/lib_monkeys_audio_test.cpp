#include "codec/lib_monkeys_audio.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "identity/identity.h"
#include "option/console_test_support.h"

namespace {

namespace fs = std::filesystem;

// The user's library folder first (a copy there wins, even a broken one), then the "lib" folder
// beside the real program, never the current folder; with neither, the user's path, which
// then fails to load.
TEST(LibMonkeysAudioSearch, UsersCopyWinsThenTheOneBesideTheProgram) {
  TTempFolder home, install, elsewhere;
  ASSERT_FALSE(install.Path().empty());
  setenv("HOME", home.Path().c_str(), 1);
  const fs::path program = fs::path(install.Path()) / "bin-real/quillet",
                 users = fs::path(home.Path()) / ".local/lib/libMonkeysAudio.so",
                 package = program.parent_path() / "lib/libMonkeysAudio.so",
                 in_current = fs::path(elsewhere.Path()) / "lib/libMonkeysAudio.so";
  for (const fs::path& file : {program, users, package, in_current})
    fs::create_directories(file.parent_path());
  std::ofstream(program) << "a program";
  // Started through a link in another folder: the folder is the real program's.
  fs::create_symlink(program, fs::path(install.Path()) / "quillet");
  fs::copy_file(FAKE_LMA_140, in_current);
  const fs::path current = fs::current_path();
  fs::current_path(elsewhere.Path());

  fs::copy_file(FAKE_LMA_140, package);
  // The order itself (the user's copy, then the one beside the program, then the user's path) is
  // the end-to-end test's; here what it does not reach: a dangling link as the user's copy, and
  // no program folder, where only the user's folder counts although the current one holds a lib/.
  const std::tuple<bool, const char*, fs::path> cases[] = {
      {true, "../quillet", package}, {false, "gone/quillet", users}, {false, nullptr, users}};
  for (const auto& [dangling_users_link, start_path, expected] : cases) {
    SCOPED_TRACE(start_path ? start_path : "(null)");
    fs::remove(users);
    if (dangling_users_link)
      fs::create_symlink(users.string() + ".gone", users);
    const std::string start =
        start_path ? (fs::path(install.Path()) / "bin-real" / start_path).string() : "";
    gAppPrivacy.AnalyzeExePath(start_path ? start.c_str() : nullptr);
    EXPECT_EQ(path_name_lib_monkeys_audio(), expected.string());
  }

  gAppPrivacy.AnalyzeExePath(nullptr);
  fs::current_path(current);
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
