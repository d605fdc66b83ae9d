#include "platform/storage/entry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A fresh folder per test (tests run in parallel), given by its resolved path.
class BEntryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "quillet_entry_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fRoot = fs::canonical(pattern).string();
    ASSERT_EQ(mkdir((fRoot + "/real").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((fRoot + "/other").c_str(), 0755), 0);
    std::ofstream(fRoot + "/real/song.ape") << "data";
    fs::create_symlink(fRoot + "/real/song.ape", fRoot + "/other/link.ape");
    fs::create_directory_symlink(fRoot + "/real", fRoot + "/folder_link");
    fs::create_symlink(fRoot + "/real/missing", fRoot + "/other/dangling");
  }
  void TearDown() override { fs::remove_all(fRoot); }

  std::string fRoot;
};

TEST_F(BEntryTest, ResolvesPathsWithAndWithoutTraversal) {
  const fs::path saved_cwd = fs::current_path();
  fs::current_path(fRoot);
  struct Case {
    std::string path;
    bool traverse;
    std::string expected;
  };
  const std::string song = fRoot + "/real/song.ape";
  const Case cases[] = {
      {fRoot + "/other/link.ape", true, song},
      {fRoot + "/other/link.ape", false, fRoot + "/other/link.ape"},
      {"./other/../other/link.ape", false, fRoot + "/other/link.ape"},
      // A link among the parent folders is always resolved; only the leaf may stay a link.
      {"folder_link/song.ape", false, song},
      {"folder_link", false, fRoot + "/folder_link"},
      {"folder_link", true, fRoot + "/real"},
      {"real/missing.ape", false, fRoot + "/real/missing.ape"},
      {"other/dangling", false, fRoot + "/other/dangling"},
      {".", false, fRoot},
      {"/", false, "/"},
  };
  for (const Case& c : cases) {
    BEntry entry(c.path.c_str(), c.traverse);
    ASSERT_EQ(entry.InitCheck(), B_OK) << c.path << " traverse " << c.traverse;
    BPath path;
    EXPECT_EQ(entry.GetPath(&path), B_OK);
    EXPECT_STREQ(path.Path(), c.expected.c_str()) << c.path << " traverse " << c.traverse;
    // A dangling link exists as a link; a missing leaf is a valid entry that does not exist.
    EXPECT_EQ(entry.Exists(), c.path != "real/missing.ape") << c.path;
  }
  fs::current_path(saved_cwd);
}

TEST_F(BEntryTest, RefusesPathsThatCannotBeResolved) {
  struct Case {
    std::string path;
    bool traverse;
    status_t expected;
  };
  const Case cases[] = {
      {fRoot + "/other/dangling", true, B_ENTRY_NOT_FOUND},
      {fRoot + "/nowhere/file", false, B_ENTRY_NOT_FOUND},
      {fRoot + "/real/song.ape/file", false, B_ENTRY_NOT_FOUND},
      {fRoot + "/real/" + std::string(NAME_MAX + 1, 'n'), false, B_NAME_TOO_LONG},
  };
  for (const Case& c : cases) {
    BEntry entry(c.path.c_str(), c.traverse);
    EXPECT_EQ(entry.InitCheck(), c.expected) << c.path << " traverse " << c.traverse;
    EXPECT_FALSE(entry.Exists()) << c.path;
    BPath path("/previous");
    EXPECT_EQ(entry.GetPath(&path), c.expected);
    EXPECT_EQ(path.Path(), nullptr);
    mode_t mode = 0;
    EXPECT_EQ(entry.GetPermissions(&mode), c.expected);
  }
  EXPECT_EQ(BEntry(nullptr).InitCheck(), B_BAD_VALUE);
  EXPECT_EQ(BEntry().InitCheck(), B_NO_INIT);
}

TEST_F(BEntryTest, GetPermissionsReadsTheEntrysOwnBits) {
  const std::string song = fRoot + "/real/song.ape";
  for (mode_t mode : {0644, 0000, 02755}) {
    ASSERT_EQ(chmod(song.c_str(), mode), 0);
    mode_t got = 0xFFFF;
    EXPECT_EQ(BEntry(song.c_str()).GetPermissions(&got), B_OK);
    EXPECT_EQ(got, mode) << std::oct << mode;
    got = 0xFFFF;
    EXPECT_EQ(BEntry((fRoot + "/other/link.ape").c_str(), true).GetPermissions(&got), B_OK);
    EXPECT_EQ(got, mode) << "through the link, " << std::oct << mode;
  }
  // Without traversal a link answers with its own bits, not with its target's.
  mode_t link_mode = 0;
  EXPECT_EQ(BEntry((fRoot + "/other/link.ape").c_str()).GetPermissions(&link_mode), B_OK);
  EXPECT_EQ(link_mode, 0777u);
  EXPECT_EQ(BEntry(song.c_str()).GetPermissions(nullptr), B_BAD_VALUE);
}

}  // namespace
