#include "tag/tag_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tag/fake_tag_test_support.h"

namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

class TagWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-write-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fFolder = folder_template;
  }
  void TearDown() override {
    fs::permissions(fFolder, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(fFolder);
  }
  std::string MakeFile(const char* name, mode_t mode) {
    const std::string path = (fFolder / name).string();
    std::ofstream(path) << "audio";
    chmod(path.c_str(), mode);
    return path;
  }

  fs::path fFolder;
  TFakeTag fTag;
};

TEST_F(TagWrite, RemovesOnlyWhenAskedAndWhateverThePermissions) {
  TTagOption option;
  option.file_name = MakeFile("read-only.ape", 0444);
  EXPECT_EQ(remove_tag(option, &fTag), 0);
  EXPECT_EQ(fTag.calls, Calls{});

  option.remove_all = true;
  EXPECT_EQ(remove_tag(option, &fTag), 0);
  EXPECT_EQ(fTag.calls, (Calls{"EraseTag(1)", "SaveTag(0)"}));
}

TEST_F(TagWrite, PutsFieldsInOptionIdOrderThenSavesOnce) {
  TTagOption option;
  option.file_name = MakeFile("song.ape", 0644);
  option.tag_values[kOptionTitle] = "Intro";
  option.tag_values[kOptionYear] = "2002";
  option.tag_values[kOptionArtist] = "Jack and Ken";
  option.tag_values[kOptionComment] = "";
  option.tag_values[kOptionCharSet] = "S";  // no field: passed over
  EXPECT_EQ(add_tag(option, &fTag), 0);
  EXPECT_EQ(fTag.calls, (Calls{
                            "PutField(Artist, \"Jack and Ken\", -1, 0)",
                            "PutField(Comment, \"\", -1, 0)",
                            "PutField(Title, \"Intro\", -1, 0)",
                            "PutField(Year, \"2002\", -1, 0)",
                            "SaveTag(0)",
                        }));
}

TEST_F(TagWrite, OnlyTheOwnerWriteBitOfTheEntryItselfCounts) {
  struct Case {
    const char* what;
    std::string file_name;
    int expected;
  };
  const std::string read_only = MakeFile("read-only.ape", 0444);
  const std::string link = (fFolder / "link.ape").string();
  fs::create_symlink(read_only, link);  // a link's own bits always allow writing
  const Case cases[] = {
      {"owner may write", MakeFile("0600.ape", 0600), 0},
      {"only the owner may write", MakeFile("0200.ape", 0200), 0},
      {"read-only", read_only, -1},
      {"group and others may write, the owner not", MakeFile("0466.ape", 0466), -1},
      {"symbolic link to a read-only file", link, 0},
      {"missing file", (fFolder / "missing.ape").string(), -1},
      {"missing folder", (fFolder / "no/such.ape").string(), -1},
  };
  for (const Case& c : cases) {
    TFakeTag tag;
    TTagOption option;
    option.file_name = c.file_name;
    option.tag_values[kOptionTitle] = "Intro";
    EXPECT_EQ(add_tag(option, &tag), c.expected) << c.what;
    EXPECT_EQ(tag.calls.empty(), c.expected != 0) << c.what;
  }
}

TEST_F(TagWrite, ConvertsAndCutsEachValue) {
  TTagOption option;
  option.file_name = MakeFile("song.ape", 0644);
  option.char_set = kCharSetShiftJis;
  option.tag_values[kOptionTitle] = "日本";
  option.tag_values[kOptionAlbum] = std::string(3000, 'a');
  EXPECT_EQ(add_tag(option, &fTag), 0);
  EXPECT_EQ(fTag.fields["Title"], "\x93\xfa\x96\x7b");
  EXPECT_EQ(fTag.fields["Album"], std::string(2047, 'a'));
}

}  // namespace
