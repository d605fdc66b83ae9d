// The file kit (entries, nodes, files, the user's folders) and the copy and path helpers over it.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/storage/attribute_test_folder.h"
#include "platform/storage/entry.h"
#include "platform/storage/file.h"
#include "platform/storage/find_directory.h"
#include "platform/storage/node.h"
#include "util/copy_file.h"
#include "util/path.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = "from/song.ape";

// Each test works with relative names, so that a name's first byte is the argument's, in a fresh
// folder that keeps user extended attributes, its current folder while the test runs.
class TWorkingFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    if (fFolder.Path().empty())
      GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
    fSavedFolder = fs::current_path();
    fs::current_path(fFolder.Path());
    fs::create_directories("from");
    fs::create_directories("to");
    write_test_file(kSource, "audio data");
  }
  void TearDown() override {
    if (!fSavedFolder.empty())
      fs::current_path(fSavedFolder);
  }

  AttributeTestFolder fFolder;
  fs::path fSavedFolder;
};

using Storage = TWorkingFolderTest;
using CopyFileTest = TWorkingFolderTest;

// Each path as an entry, its leaf link followed or not (parent links always are): status,
// absolute path, whether it exists and its own permission bits (-1: none to read).
TEST_F(Storage, EntryResolvesPathsOrRefusesThem) {
  const std::string root = fs::current_path().string(), song = root + "/" + kSource;
  fs::create_directories("other");
  fs::permissions("from", fs::perms(0755));
  ASSERT_EQ(chmod(song.c_str(), 02750), 0);
  fs::create_symlink(song, "other/link.ape");
  fs::create_directory_symlink(root + "/from", "folder_link");
  fs::create_symlink(root + "/from/missing", "other/dangling");
  const std::tuple<std::string, bool, status_t, std::string, int> cases[] = {
      {"other/link.ape", true, B_OK, song, 02750},
      {root + "/other/link.ape", false, B_OK, root + "/other/link.ape", 0777},
      {"./other/../other/link.ape", false, B_OK, root + "/other/link.ape", 0777},
      {"folder_link/song.ape", false, B_OK, song, 02750},
      {"folder_link", true, B_OK, root + "/from", 0755},
      {"from/..", false, B_OK, root, 0700},  // resolved whole: ".." is never a link
      // A dangling link exists as a link; a missing leaf is a valid entry that does not exist.
      {"from/missing.ape", false, B_OK, root + "/from/missing.ape", -1},
      {"other/dangling", false, B_OK, root + "/other/dangling", 0777},
      {"other/dangling", true, B_ENTRY_NOT_FOUND, "", -1},
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
  EXPECT_EQ(read_test_file(kSource), "audio data");

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
  EXPECT_EQ(read_test_file("data"), std::string("he\0\0tail", 8));
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
      write_test_file("source", data);
      write_test_file("target", patterned(4 * kBuffer));
      BFile source("source", B_READ_ONLY);
      BFile target("target", B_WRITE_ONLY);
      off_t copied = -1;
      EXPECT_EQ(copy_file_data(source, target, &copied, method), B_OK) << size;
      EXPECT_EQ(copied, static_cast<off_t>(size));
      EXPECT_TRUE(read_test_file("target") == data)
          << "size " << size << " method " << static_cast<int>(method);
    }
  }
  // Kernel files report a size of 0, so the kernel copy cannot serve them.
  BFile source("/proc/version", B_READ_ONLY);
  BFile target("version", B_WRITE_ONLY | B_CREATE_FILE);
  EXPECT_EQ(copy_file_data(source, target), B_OK);
  EXPECT_EQ(read_test_file("version"), read_test_file("/proc/version"));
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

using Attributes = std::map<std::string, std::string>;

void set_attributes(const std::string& path, const Attributes& attributes) {
  for (const auto& [name, value] : attributes)
    ASSERT_EQ(setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0), 0) << name;
}

// Every attribute the kernel lists, whatever its namespace, with its value.
Attributes attributes_of(const std::string& path) {
  Attributes attributes;
  std::string names(65536, '\0'), value(65536, '\0');
  names.resize(static_cast<size_t>(
      std::max<ssize_t>(0, listxattr(path.c_str(), names.data(), names.size()))));
  for (size_t i = 0; i < names.size(); i += strlen(&names[i]) + 1)
    attributes[&names[i]] = value.substr(
        0, std::max<ssize_t>(0, getxattr(path.c_str(), &names[i], value.data(), value.size())));
  return attributes;
}

// Each source holds its row's number as contents and as an attribute when copied. A target that
// cannot be opened, a dangling link named or found in the folder, or a path past the limit gives
// -1, nothing written anywhere; a missing source leaves an older target that still counts.
TEST_F(CopyFileTest, DecidesTheTargetOrFailsWithNothingWritten) {
  fs::create_directory_symlink("to", "to_link");
  fs::create_hard_link(kSource, "to/hard_link.ape");
  write_test_file("from/pointed_at.ape", "old");
  fs::create_symlink("../from/pointed_at.ape", "to/link.ape");
  std::string deep = "deep";
  while (deep.size() + 251 <= static_cast<size_t>(kCopyTargetPathMax))
    deep += "/" + std::string(40, 'd');
  fs::create_directories(deep);
  const std::string too_long = deep + "/" + std::string(250, 'n');
  const std::string fits = deep + "/" + std::string(kCopyTargetPathMax - deep.size() - 1, 'f');
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {kSource, "to", "to/song.ape"},
      {kSource, "to_link", "to/song.ape"},
      {kSource, "to/renamed", "to/renamed"},
      {kSource, "to/link.ape", "from/pointed_at.ape"},  // written through, as cp does
      {kSource, fits, fits},
      // The source itself, under any of its names, is left as it is.
      {kSource, kSource, kSource},
      {kSource, "from", kSource},
      {kSource, "to/hard_link.ape", kSource},
      {"it's \"$(touch marker)\".ape", "to", "to/it's \"$(touch marker)\".ape"},  // bytes kept
      {"\xff\xfe.ape", "to", "to/\xff\xfe.ape"},
  };
  int row = 0;
  for (const auto& [source, destination, target] : cases) {
    const std::string number = std::to_string(++row);
    write_test_file(source, number);
    set_attributes(source, {{"user.row", number}});
    EXPECT_EQ(copy_file(source.c_str(), destination.c_str()), 0) << destination;
    EXPECT_EQ(read_test_file(target), number) << destination;
    EXPECT_EQ(attributes_of(target), (Attributes{{"user.row", number}})) << destination;
  }

  write_test_file(too_long, "");
  fs::create_symlink("../from/gone.ape", "to/dangling.ape");
  fs::create_directories("links");
  fs::create_symlink("../from/gone.ape", "links/song.ape");
  const std::pair<const char*, const char*> failures[] = {
      {kSource, "missing_folder/song.ape"},
      {kSource, too_long.c_str()},
      {kSource, "from/song.ape/below_a_file"},
      {kSource, ""},
      {nullptr, fits.c_str()},
      {kSource, nullptr},
      {"from/missing.ape", "to"},
      {kSource, "to/dangling.ape"},
      {kSource, "links"},
  };
  for (const auto& [source, destination] : failures)
    EXPECT_EQ(copy_file(source, destination), -1) << destination;
  EXPECT_FALSE(fs::exists("missing_folder") || fs::exists("to/missing.ape") ||
               fs::exists("from/gone.ape"));
  EXPECT_EQ(fs::file_size(too_long), 0u);
  EXPECT_TRUE(attributes_of(too_long).empty());
  EXPECT_EQ(copy_file("from/missing.ape", "to/renamed"), 0);
  EXPECT_EQ(read_test_file("to/renamed"), "3");
  EXPECT_EQ(attributes_of("to/renamed"), (Attributes{{"user.row", "3"}}));
}

// User attributes byte for byte, up to the largest value; where the tools allow, an ACL granting
// another user rwx (the group bits then show its mask) and, as root, a file capability, neither
// of which travels. An existing target keeps its permissions and the attributes the source
// lacks; a new one gets the source's permission bits less the umask, set-user-ID dropped.
TEST_F(CopyFileTest, CopiesUserAttributesOnlyAndNeverWidensPermissions) {
  Attributes attributes = {{"user.empty", ""}, {"user.binary", std::string("\0\x01\xfe\xff\0", 5)}};
  set_attributes(kSource, attributes);
  ASSERT_EQ(chmod(kSource, 04751), 0);
  const bool acl = std::system("setfacl -m u:65534:rwx from/song.ape 2>/dev/null") == 0;
  const bool capability =
      geteuid() == 0 && std::system("setcap cap_net_raw=ep from/song.ape 2>/dev/null") == 0;
  SCOPED_TRACE(std::string(acl ? "with" : "without") + " an ACL, " +
               (capability ? "with" : "without") + " a capability");

  write_test_file("to/older.ape", "an older and much longer target file");
  ASSERT_EQ(chmod("to/older.ape", 0600), 0);
  set_attributes("to/older.ape", {{"user.empty", "from the old target"}, {"user.own", "kept"}});
  ASSERT_EQ(copy_file(kSource, "to/older.ape"), 0);
  EXPECT_EQ(read_test_file("to/older.ape"), "audio data");
  EXPECT_EQ(fs::status("to/older.ape").permissions(), fs::perms(0600));
  Attributes merged = attributes;
  merged["user.own"] = "kept";
  EXPECT_EQ(attributes_of("to/older.ape"), merged);

  // The largest value that still fits beside the others, onto a new target.
  std::string& large = attributes["user.large"];
  large.resize(largest_attribute_value(kSource, "user.large"));
  for (size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>(i % 251);
  set_attributes(kSource, {{"user.large", large}});
  const mode_t saved = umask(027);
  EXPECT_EQ(copy_file(kSource, "to"), 0);
  umask(saved);
  EXPECT_EQ(attributes_of("to/song.ape"), attributes);
  EXPECT_EQ(fs::status("to/song.ape").permissions(), fs::perms(0750));
}

TEST(Path, SplitsExtendsTrimsAndCountsLineEnds) {
  // Each path's name, folder with and without the slash, extension and body.
  const std::pair<std::string, std::vector<std::string>> splits[] = {
      {"/boot/home/song.wav", {"song.wav", "/boot/home/", "/boot/home", "wav", "song"}},
      {"a.b.z", {"a.b.z", "", "", "z", "a.b"}},
      {"dir.d/file", {"file", "dir.d/", "dir.d", "d/file", "file"}},
      {"dir/.profile", {".profile", "dir/", "dir", "profile", ""}},
      {"dir/", {"", "dir/", "dir", "", ""}},
      {"a.", {"a.", "", "", "", "a"}},
      {"/a", {"a", "/", "", "", "a"}},
  };
  for (const auto& [path, parts] : splits)
    EXPECT_EQ(
        (std::vector<std::string>{extract_file_name(path), extract_file_folder_path_kernel(path, 1),
                                  extract_file_folder_path_kernel(path, 0), extract_file_ext(path),
                                  extract_file_body(path)}),
        parts)
        << path;
  // The folder length is cut to the path, and never below nothing.
  EXPECT_EQ(extract_file_folder_path_kernel("dir/", 5), "dir/");
  EXPECT_EQ(extract_file_folder_path_kernel("/a", -3), "");
  EXPECT_EQ(extract_file_folder_path_kernel("ab/c", -1), "a");

  // Each path with "wav" added and replacing its extension, then the same with "".
  const std::pair<std::string, std::vector<std::string>> extensions[] = {
      {"song", {"song.wav", "song.wav", "song.", "song."}},
      {"song.txt", {"song.txt", "song.wav", "song.txt", "song."}},
      {"a.", {"a.", "a.wav", "a.", "a."}},
      {"dir.d/song", {"dir.d/song.wav", "dir.d/song.wav", "dir.d/song.", "dir.d/song."}},
      {".profile", {".profile", ".wav", ".profile", "."}},
      {"dir/", {"dir/.wav", "dir/.wav", "dir/.", "dir/."}},
  };
  for (const auto& [path, extended] : extensions)
    EXPECT_EQ((std::vector<std::string>{add_ext(path, "wav"), reext(path, "wav"), add_ext(path, ""),
                                        reext(path, "")}),
              extended)
        << path;

  EXPECT_EQ(trim("  a b \t"), "a b");
  EXPECT_EQ(trim(" \t \t"), "");
  EXPECT_EQ(trim("\t\r x\r\v \n"), "\r x\r\v \n");
  // Only the counts decide, not whether CR and LF stand in pairs; the walk ends at the NUL.
  const std::pair<const char*, int> line_ends[] = {
      {"a\r\nb\r\n", kLineEndCrLf}, {"", kLineEndLf},       {"a\r\nb\n", kLineEndLf},
      {"\r\r\n", kLineEndCr},       {"\n\r", kLineEndCrLf}, {"a\n\0\r\r", kLineEndLf},
  };
  for (const auto& [text, expected] : line_ends)
    EXPECT_EQ(detect_cr_type(text), expected) << testing::PrintToString(std::string(text));
}

}  // namespace
