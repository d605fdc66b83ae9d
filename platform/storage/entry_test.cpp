#include "platform/storage/entry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// Each path as an entry: its status, absolute path, whether it exists and its own permission
// bits (-1: none to read). A link among the parent folders is always resolved; only the leaf
// may stay a link, which then answers with its own bits.
TEST(BEntry, ResolvesPathsOrRefusesThem) {
  std::string pattern = testing::TempDir() + "quillet_entry_XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string root = fs::canonical(pattern).string(), song = root + "/real/song.ape";
  fs::create_directories(root + "/real");
  fs::create_directories(root + "/other");
  std::ofstream(song) << "data";
  fs::permissions(root + "/real", fs::perms(0755));
  ASSERT_EQ(chmod(song.c_str(), 02750), 0);
  fs::create_symlink(song, root + "/other/link.ape");
  fs::create_directory_symlink(root + "/real", root + "/folder_link");
  fs::create_symlink(root + "/real/missing", root + "/other/dangling");
  const fs::path saved_cwd = fs::current_path();
  fs::current_path(root);
  const struct {
    std::string path;
    bool traverse;
    status_t status;
    std::string expected;
    int mode;
  } cases[] = {
      {"other/link.ape", true, B_OK, song, 02750},
      {root + "/other/link.ape", false, B_OK, root + "/other/link.ape", 0777},
      {"./other/../other/link.ape", false, B_OK, root + "/other/link.ape", 0777},
      {"folder_link/song.ape", false, B_OK, song, 02750},
      {"folder_link", true, B_OK, root + "/real", 0755},
      {"real/..", false, B_OK, root, 0700},  // resolved whole: ".." is never a link
      // A dangling link exists as a link; a missing leaf is a valid entry that does not exist.
      {"real/missing.ape", false, B_OK, root + "/real/missing.ape", -1},
      {"other/dangling", false, B_OK, root + "/other/dangling", 0777},
      {"other/dangling", true, B_ENTRY_NOT_FOUND, "", -1},
      {"nowhere/file", false, B_ENTRY_NOT_FOUND, "", -1},
      {"real/song.ape/file", false, B_ENTRY_NOT_FOUND, "", -1},
      {"real/" + std::string(NAME_MAX + 1, 'n'), false, B_NAME_TOO_LONG, "", -1},
      {"", false, B_BAD_VALUE, "", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + (c.traverse ? " traversed" : ""));
    const BEntry entry(c.path.c_str(), c.traverse);
    EXPECT_EQ(entry.InitCheck(), c.status);
    BPath path("/previous");
    EXPECT_EQ(entry.GetPath(&path), c.status);
    EXPECT_STREQ(path.Path(), c.status == B_OK ? c.expected.c_str() : nullptr);
    EXPECT_EQ(entry.Exists(), c.mode >= 0);
    mode_t mode = 0;
    EXPECT_EQ(entry.GetPermissions(&mode) == B_OK ? static_cast<int>(mode) : -1, c.mode);
  }
  EXPECT_EQ(BEntry(song.c_str()).GetPermissions(nullptr), B_BAD_VALUE);
  fs::current_path(saved_cwd);
  fs::remove_all(root);
}

}  // namespace
