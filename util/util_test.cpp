// The copy and path helpers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/storage/test_working_folder.h"
#include "util/copy_file.h"
#include "util/path.h"

namespace {

namespace fs = std::filesystem;
using CopyFileTest = TWorkingFolderTest;

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
  std::ofstream("from/pointed_at.ape") << "old";
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
    std::ofstream(source) << number;
    set_attributes(source, {{"user.row", number}});
    EXPECT_EQ(copy_file(source.c_str(), destination.c_str()), 0) << destination;
    EXPECT_EQ(read_file(target), number) << destination;
    EXPECT_EQ(attributes_of(target), (Attributes{{"user.row", number}})) << destination;
  }

  std::ofstream(too_long) << "";
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
  EXPECT_EQ(read_file("to/renamed"), "3");
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

  std::ofstream("to/older.ape") << "an older and much longer target file";
  ASSERT_EQ(chmod("to/older.ape", 0600), 0);
  set_attributes("to/older.ape", {{"user.empty", "from the old target"}, {"user.own", "kept"}});
  ASSERT_EQ(copy_file(kSource, "to/older.ape"), 0);
  EXPECT_EQ(read_file("to/older.ape"), "audio data");
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
