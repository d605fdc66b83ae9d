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

TEST_F(BEntryTest, ResolvesPathsOrRefusesThem) {
  const fs::path saved_cwd = fs::current_path();
  fs::current_path(fRoot);
  const std::string song = fRoot + "/real/song.ape";
  const struct {
    std::string path;
    bool traverse;
    status_t status;
    std::string expected;
  } cases[] = {
      {fRoot + "/other/link.ape", true, B_OK, song},
      {fRoot + "/other/link.ape", false, B_OK, fRoot + "/other/link.ape"},
      {"./other/../other/link.ape", false, B_OK, fRoot + "/other/link.ape"},
      // A link among the parent folders is always resolved; only the leaf may stay a link.
      {"folder_link/song.ape", false, B_OK, song},
      {"folder_link", true, B_OK, fRoot + "/real"},
      // A dangling link exists as a link; a missing leaf is a valid entry that does not exist.
      {"real/missing.ape", false, B_OK, fRoot + "/real/missing.ape"},
      {"other/dangling", false, B_OK, fRoot + "/other/dangling"},
      {"other/dangling", true, B_ENTRY_NOT_FOUND, ""},
      {"nowhere/file", false, B_ENTRY_NOT_FOUND, ""},
      {"real/song.ape/file", false, B_ENTRY_NOT_FOUND, ""},
      {"real/" + std::string(NAME_MAX + 1, 'n'), false, B_NAME_TOO_LONG, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + (c.traverse ? " traversed" : ""));
    BEntry entry(c.path.c_str(), c.traverse);
    EXPECT_EQ(entry.InitCheck(), c.status);
    BPath path("/previous");
    EXPECT_EQ(entry.GetPath(&path), c.status);
    EXPECT_STREQ(path.Path(), c.status == B_OK ? c.expected.c_str() : nullptr);
    EXPECT_EQ(entry.Exists(), c.status == B_OK && c.path != "real/missing.ape");
  }
  EXPECT_EQ(BEntry(nullptr).InitCheck(), B_BAD_VALUE);
  EXPECT_EQ(BEntry().InitCheck(), B_NO_INIT);
  fs::current_path(saved_cwd);
}

// The entry's own bits, setgid included; a link not traversed answers with its own.
TEST_F(BEntryTest, GetPermissionsReadsTheEntrysOwnBits) {
  const std::string song = fRoot + "/real/song.ape";
  const std::string link = fRoot + "/other/link.ape";
  ASSERT_EQ(chmod(song.c_str(), 02750), 0);
  for (const auto& [entry, expected] :
       {std::pair{BEntry(song.c_str()), 02750u}, std::pair{BEntry(link.c_str(), true), 02750u},
        std::pair{BEntry(link.c_str()), 0777u}}) {
    mode_t got = 0;
    EXPECT_EQ(entry.GetPermissions(&got), B_OK);
    EXPECT_EQ(got, expected) << std::oct << expected;
  }
  EXPECT_EQ(BEntry(song.c_str()).GetPermissions(nullptr), B_BAD_VALUE);
}

}  // namespace
