// Entries, nodes and files, and the user's folders.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/storage/entry.h"
#include "platform/storage/file.h"
#include "platform/storage/find_directory.h"
#include "platform/storage/node.h"
#include "platform/storage/test_working_folder.h"

namespace {

namespace fs = std::filesystem;
using Storage = TWorkingFolderTest;

// Each path as an entry, its leaf link followed or not (parent links always are): status,
// absolute path, whether it exists and its own permission bits (-1: none to read).
TEST_F(Storage, EntryResolvesPathsOrRefusesThem) {
  const std::string root = fs::current_path().string(), song = root + "/" + kSource;
  fs::permissions("from", fs::perms(0755));
  ASSERT_EQ(chmod(song.c_str(), 02750), 0);
  fs::create_symlink(song, "to/link.ape");
  fs::create_directory_symlink(root + "/from", "folder_link");
  fs::create_symlink(root + "/from/missing", "to/dangling");
  const std::tuple<std::string, bool, status_t, std::string, int> cases[] = {
      {"to/link.ape", true, B_OK, song, 02750},
      {root + "/to/link.ape", false, B_OK, root + "/to/link.ape", 0777},
      {"./to/../to/link.ape", false, B_OK, root + "/to/link.ape", 0777},
      {"folder_link/song.ape", false, B_OK, song, 02750},
      {"folder_link", true, B_OK, root + "/from", 0755},
      {"from/..", false, B_OK, root, 0700},  // resolved whole: ".." is never a link
      // A dangling link exists as a link; a missing leaf is a valid entry that does not exist.
      {"from/missing.ape", false, B_OK, root + "/from/missing.ape", -1},
      {"to/dangling", false, B_OK, root + "/to/dangling", 0777},
      {"to/dangling", true, B_ENTRY_NOT_FOUND, "", -1},
      {"nowhere/file", false, B_ENTRY_NOT_FOUND, "", -1},
      {"from/song.ape/file", false, B_ENTRY_NOT_FOUND, "", -1},
      {"from/" + std::string(NAME_MAX + 1, 'n'), false, B_NAME_TOO_LONG, "", -1},
      {"", false, B_BAD_VALUE, "", -1},
  };
  for (const auto& [name, traverse, status, expected, mode] : cases) {
    SCOPED_TRACE(name + (traverse ? " traversed" : ""));
    const BEntry entry(name.c_str(), traverse);
    EXPECT_EQ(entry.InitCheck(), status);
    BPath path("/previous");
    EXPECT_EQ(entry.GetPath(&path), status);
    EXPECT_STREQ(path.Path(), status == B_OK ? expected.c_str() : nullptr);
    EXPECT_EQ(entry.Exists(), mode >= 0);
    mode_t own = 0;
    EXPECT_EQ(entry.GetPermissions(&own) == B_OK ? static_cast<int>(own) : -1, mode);
  }
  EXPECT_EQ(BEntry(song.c_str()).GetPermissions(nullptr), B_BAD_VALUE);
}

// The edges of the attribute contract that the copy's tests do not reach.
TEST_F(Storage, NodeReadsValuesInPartsAndRefusesWritesWithoutChange) {
  EXPECT_EQ(BNode("missing").InitCheck(), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(BNode("").InitCheck(), B_BAD_VALUE);
  BNode node(kSource);
  ASSERT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 0, "a much longer value", 19), 19);
  ASSERT_EQ(node.WriteAttr("user.a", 0x4c4f4e47, 0, "0123456789", 10), 10);
  char buffer[16] = {};
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 6, buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 10, buffer, 1), 0);
  EXPECT_EQ(node.ReadAttr("user.missing", B_RAW_TYPE, 0, buffer, 1), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, -1, buffer, 1), B_BAD_VALUE);

  EXPECT_LT(node.WriteAttr("plain", B_RAW_TYPE, 0, "x", 1), 0);  // Linux needs a namespace
  EXPECT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 2, "x", 1), B_BAD_VALUE);
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 0, buffer, sizeof buffer), 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
}

TEST_F(Storage, FileOpensReadsAndWritesCheckingTheirArguments) {
  const std::tuple<const char*, uint32, status_t> cases[] = {
      {kSource, B_READ_ONLY, B_OK},
      {"missing", B_READ_WRITE, B_ENTRY_NOT_FOUND},
      {"missing/below", B_READ_WRITE | B_CREATE_FILE, B_ENTRY_NOT_FOUND},
      {"to", B_READ_ONLY, B_BAD_VALUE},
      {kSource, B_READ_ONLY | O_APPEND, B_BAD_VALUE},
  };
  for (const auto& [name, mode, status] : cases)
    EXPECT_EQ(BFile(name, mode).InitCheck(), status) << name << " mode " << mode;
  // A file open for reading only takes no write, by either way of copying either.
  BFile source(kSource, B_READ_ONLY);
  BFile readOnly(kSource, B_READ_ONLY);
  EXPECT_LT(readOnly.WriteAt(0, "x", 1), 0);
  EXPECT_LT(copy_file_data(source, readOnly), 0);
  EXPECT_LT(copy_file_data(source, readOnly, nullptr, DataCopyMethod::kReadWrite), 0);
  EXPECT_EQ(read_file(kSource), "audio data");

  // Reads stop only at the end of the file; a refused transfer changes nothing.
  BFile file("data", B_READ_WRITE | B_CREATE_FILE);
  ASSERT_EQ(file.WriteAt(4, "tail", 4), 4);  // the first four bytes stay a hole of zeros
  ASSERT_EQ(file.WriteAt(0, "he", 2), 2);
  char buffer[16] = {};
  EXPECT_EQ(file.ReadAt(1, buffer, sizeof buffer), 7);
  EXPECT_EQ(std::string(buffer, 7), std::string("e\0\0tail", 7));
  EXPECT_EQ(file.ReadAt(8, buffer, 1), 0);
  EXPECT_EQ(file.ReadAt(0, nullptr, 0), 0);
  EXPECT_EQ(file.ReadAt(-1, buffer, 1), B_BAD_VALUE);
  EXPECT_EQ(file.ReadAt(0, buffer, SIZE_MAX), B_BAD_VALUE);
  EXPECT_EQ(file.WriteAt(0, nullptr, 1), B_BAD_VALUE);
  EXPECT_EQ(BFile().ReadAt(0, buffer, 1), B_NO_INIT);
}

// Both ways of copying, around the read/write buffer, over a longer target: it ends as the source.
TEST_F(Storage, FileCopiesDataExactlyAndCutsTheTarget) {
  const size_t kBuffer = size_t{1} << 20;
  const auto patterned = [](size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
      data[i] = static_cast<char>((i * 131) ^ (i >> 9));
    return data;
  };
  for (DataCopyMethod method : {DataCopyMethod::kKernelFirst, DataCopyMethod::kReadWrite}) {
    for (size_t size : {size_t{0}, kBuffer, 3 * kBuffer + 7}) {
      const std::string data = patterned(size);
      std::ofstream("source") << data;
      std::ofstream("target") << patterned(4 * kBuffer);
      BFile source("source", B_READ_ONLY);
      BFile target("target", B_WRITE_ONLY);
      off_t copied = -1;
      EXPECT_EQ(copy_file_data(source, target, &copied, method), B_OK) << size;
      EXPECT_EQ(copied, static_cast<off_t>(size));
      EXPECT_TRUE(read_file("target") == data)
          << "size " << size << " method " << static_cast<int>(method);
    }
  }
  // Kernel files report a size of 0, so the kernel copy cannot serve them.
  BFile source("/proc/version", B_READ_ONLY);
  BFile target("version", B_WRITE_ONLY | B_CREATE_FILE);
  EXPECT_EQ(copy_file_data(source, target), B_OK);
  EXPECT_EQ(read_file("version"), read_file("/proc/version"));
}

// The user library folder under HOME (null: unset), or B_BAD_VALUE with the path unchanged.
TEST(FindDirectory, UserLibFolderFollowsHomeOrTheAccount) {
  const struct passwd* account = getpwuid(getuid());
  ASSERT_NE(account, nullptr);
  const std::string home = account->pw_dir, account_lib = (home == "/" ? "" : home) + "/.local/lib";
  const struct {
    const char* home;
    std::string expected;  // "/unchanged": refused
    directory_which which = B_USER_LIB_DIRECTORY;
    bool create_it = false;
    const void* volume = nullptr;
  } cases[] = {
      {"/home/someone/", "/home/someone/.local/lib"},
      {"/", "/.local/lib"},
      {"", account_lib},       // empty: as if unset
      {nullptr, account_lib},  // unset: the passwd entry's home
      {"/home/someone", "/unchanged", static_cast<directory_which>(3000)},
      {"/home/someone", "/unchanged", B_USER_LIB_DIRECTORY, true},
      {"/home/someone", "/unchanged", B_USER_LIB_DIRECTORY, false, account},  // any volume
  };
  for (const auto& c : cases) {
    c.home != nullptr ? setenv("HOME", c.home, 1) : unsetenv("HOME");
    BPath path("/unchanged");
    EXPECT_EQ(find_directory_r(c.which, &path, c.create_it, c.volume),
              c.expected == "/unchanged" ? B_BAD_VALUE : B_OK);
    EXPECT_EQ(path.Path(), c.expected) << (c.home ? c.home : "(unset)");
  }
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, nullptr), B_BAD_VALUE);
}

}  // namespace
