#include "util/path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Path, SplitsPathsIntoFolderNameBodyAndExtension) {
  const struct {
    std::string path, name, folder_with_slash, folder, ext, body;
  } cases[] = {
      {"/boot/home/song.wav", "song.wav", "/boot/home/", "/boot/home", "wav", "song"},
      {"a.b.z", "a.b.z", "", "", "z", "a.b"},
      {"dir.d/file", "file", "dir.d/", "dir.d", "d/file", "file"},
      {"dir/.profile", ".profile", "dir/", "dir", "profile", ""},
      {"dir/", "", "dir/", "dir", "", ""},
      {"a.", "a.", "", "", "", "a"},
      {"/a", "a", "/", "", "", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("path '" + c.path + "'");
    EXPECT_EQ(extract_file_name(c.path), c.name);
    EXPECT_EQ(extract_file_folder_path_kernel(c.path, 1), c.folder_with_slash);
    EXPECT_EQ(extract_file_folder_path_kernel(c.path, 0), c.folder);
    EXPECT_EQ(extract_file_ext(c.path), c.ext);
    EXPECT_EQ(extract_file_body(c.path), c.body);
  }
  // The folder length is cut to the path, and never below nothing.
  EXPECT_EQ(extract_file_folder_path_kernel("dir/", 5), "dir/");
  EXPECT_EQ(extract_file_folder_path_kernel("/a", -3), "");
  EXPECT_EQ(extract_file_folder_path_kernel("ab/c", -1), "a");
}

TEST(Path, AddsAndReplacesExtensions) {
  const struct {
    std::string path, add_wav, reext_wav, add_empty, reext_empty;
  } cases[] = {
      {"song", "song.wav", "song.wav", "song.", "song."},
      {"song.txt", "song.txt", "song.wav", "song.txt", "song."},
      {"a.", "a.", "a.wav", "a.", "a."},
      {"dir.d/song", "dir.d/song.wav", "dir.d/song.wav", "dir.d/song.", "dir.d/song."},
      {".profile", ".profile", ".wav", ".profile", "."},
      {"dir/", "dir/.wav", "dir/.wav", "dir/.", "dir/."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("path '" + c.path + "'");
    EXPECT_EQ(add_ext(c.path, "wav"), c.add_wav);
    EXPECT_EQ(reext(c.path, "wav"), c.reext_wav);
    EXPECT_EQ(add_ext(c.path, ""), c.add_empty);
    EXPECT_EQ(reext(c.path, ""), c.reext_empty);
  }
}

TEST(Path, TrimsBlanksAndTabsAndCountsLineEnds) {
  EXPECT_EQ(trim("  a b \t"), "a b");
  EXPECT_EQ(trim(" \t \t"), "");
  EXPECT_EQ(trim("\t\r x\r\v \n"), "\r x\r\v \n");
  // Only the counts decide, not whether CR and LF stand in pairs; the walk ends at the NUL.
  const std::pair<const char*, int> cases[] = {
      {"a\r\nb\r\n", kLineEndCrLf}, {"", kLineEndLf},       {"a\r\nb\n", kLineEndLf},
      {"\r\r\n", kLineEndCr},       {"\n\r", kLineEndCrLf}, {"a\n\0\r\r", kLineEndLf},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(detect_cr_type(text), expected) << testing::PrintToString(std::string(text));
}

}  // namespace
