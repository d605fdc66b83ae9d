#include "tag/tag_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "option/console_test_support.h"
#include "tag/fake_tag_test_support.h"

namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

class TagWrite : public ::testing::Test {
 protected:
  std::string MakeFile(const char* name, mode_t mode) {
    const std::string path = fFolder.Path() + "/" + name;
    std::ofstream(path) << "audio";
    chmod(path.c_str(), mode);
    return path;
  }

  TTempFolder fFolder;
  TFakeTag fTag;
};

TEST_F(TagWrite, PutsConvertedCutFieldsInOptionIdOrderThenSavesOnce) {
  TTagOption option;
  option.file_name = MakeFile("song.ape", 0644);
  option.char_set = kCharSetShiftJis;
  option.tag_values[kOptionTitle] = "日本";
  option.tag_values[kOptionYear] = "2002";
  option.tag_values[kOptionAlbum] = std::string(3000, 'a');
  option.tag_values[kOptionComment] = "";
  option.tag_values[kOptionCharSet] = "S";  // no field: passed over
  EXPECT_EQ(add_tag(option, &fTag), 0);
  EXPECT_EQ(fTag.calls, (Calls{
                            "PutField(Album, \"" + std::string(2047, 'a') + "\", -1, 0)",
                            "PutField(Comment, \"\", -1, 0)",
                            "PutField(Title, \"\x93\xfa\x96\x7b\", -1, 0)",
                            "PutField(Year, \"2002\", -1, 0)",
                            "SaveTag(0)",
                        }));
}

TEST_F(TagWrite, OnlyTheOwnerWriteBitOfTheEntryItselfCounts) {
  const std::string read_only = MakeFile("read-only.ape", 0444);
  const std::string link = fFolder.Path() + "/link.ape";
  fs::create_symlink(read_only, link);  // a link's own bits always allow writing
  const std::pair<std::string, int> cases[] = {
      {MakeFile("0600.ape", 0600), 0},
      {read_only, -1},
      {MakeFile("0466.ape", 0466), -1},  // group and others may write, the owner not
      {link, 0},
      {fFolder.Path() + "/missing.ape", -1},
  };
  for (const auto& [file_name, expected] : cases) {
    TFakeTag tag;
    TTagOption option;
    option.file_name = file_name;
    option.tag_values[kOptionTitle] = "Intro";
    EXPECT_EQ(add_tag(option, &tag), expected) << file_name;
    EXPECT_EQ(tag.calls.empty(), expected != 0) << file_name;
  }
}

}  // namespace
