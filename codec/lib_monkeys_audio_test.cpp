#include "codec/lib_monkeys_audio.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

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

  enum Copy { kNone, kLibrary, kDanglingLink };
  const struct {
    Copy user, beside_program;
    const char* start_path;
    fs::path expected;
  } cases[] = {
      // The order itself (the user's copy, then the one beside the program, then the user's
      // path) is the end-to-end test's; here what it does not reach.
      {kDanglingLink, kLibrary, "../quillet", package},
      // No program folder: only the user's folder, although the current one holds a lib/.
      {kNone, kLibrary, "gone/quillet", users},
      {kNone, kLibrary, nullptr, users},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.user) + std::to_string(c.beside_program) +
                 (c.start_path ? c.start_path : "(null)"));
    for (const auto& [copy, path] : {std::pair{c.user, users}, {c.beside_program, package}}) {
      fs::remove(path);
      if (copy == kLibrary)
        fs::copy_file(FAKE_LMA_140, path);
      else if (copy == kDanglingLink)
        fs::create_symlink(path.string() + ".gone", path);
    }
    const std::string start =
        c.start_path ? (fs::path(install.Path()) / "bin-real" / c.start_path).string() : "";
    gAppPrivacy.AnalyzeExePath(c.start_path ? start.c_str() : nullptr);
    EXPECT_EQ(path_name_lib_monkeys_audio(), c.expected.string());
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
