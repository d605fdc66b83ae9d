// The listing and writing stages, against a fake of the library's tag.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codec/lib_monkeys_audio.h"
#include "option/console_test_support.h"
#include "tag/tag_list.h"
#include "tag/tag_write.h"

namespace {

using Calls = std::vector<std::string>;

// Records every call; fetching fills the whole buffer and leaves it unterminated, as a
// misbehaving library might.
class TFakeTag : public CAPETag {
 public:
  int SaveTag(int reserved) override { return Record("SaveTag(" + std::to_string(reserved) + ")"); }
  int EraseTag(int) override { return Record("EraseTag"); }
  int PutField(const char* field, const char* value, int length, int flags) override {
    return Record(std::string("PutField(") + field + ", \"" + value + "\", " +
                  std::to_string(length) + ", " + std::to_string(flags) + ")");
  }
  int FetchField(const char*, char* buffer, int* buffer_bytes) override {
    std::memset(buffer, 'x', static_cast<std::size_t>(*buffer_bytes));
    return 0;
  }
  int Record(const std::string& call) {
    calls.push_back(call);
    return 0;
  }
  Calls calls;
};

TFakeTag gTag;
int gDeleted = 0;

class TFakeDecompress : public IAPEDecompress {
 public:
  ~TFakeDecompress() override { ++gDeleted; }
  int GetData(char*, intptr_t, intptr_t*) override { return kApeErrorUnsupported; }
  int Seek(intptr_t) override { return kApeErrorUnsupported; }
  intptr_t QueryInfo(int code, intptr_t, intptr_t) override {
    return code == kApeInfoTag ? reinterpret_cast<intptr_t>(&gTag) : 0;
  }
};

TEST(TagList, NeverReadsPastAFieldAndDeletesTheDecompressor) {
  lma::create_iapedecompress = [](const char*, int*) -> IAPEDecompress* {
    return new TFakeDecompress;
  };
  TTagOption option;
  option.char_set = kCharSetUtf8;
  TCoutCapture output;
  EXPECT_EQ(exp_tag(option), 0);
  const std::string text = output.Text();
  EXPECT_EQ(text.substr(0, text.find('\n')), "Title: " + std::string(2047, 'x'));
  EXPECT_EQ(gDeleted, 1);
  lma::create_iapedecompress = nullptr;
}

// A file `name` in `folder` with the permission bits `mode`.
std::string make_file(const TTempFolder& folder, const char* name, mode_t mode) {
  const std::string path = folder.Path() + "/" + name;
  std::ofstream(path) << "audio";
  chmod(path.c_str(), mode);
  return path;
}

TEST(TagWrite, PutsConvertedCutFieldsInOptionIdOrderThenSavesOnce) {
  TTempFolder folder;
  TFakeTag tag;
  TTagOption option;
  option.file_name = make_file(folder, "song.ape", 0644);
  option.char_set = kCharSetShiftJis;
  option.tag_values[kOptionTitle] = "日本";
  option.tag_values[kOptionYear] = "2002";
  option.tag_values[kOptionAlbum] = std::string(3000, 'a');
  option.tag_values[kOptionComment] = "";
  option.tag_values[kOptionCharSet] = "S";  // no field: passed over
  EXPECT_EQ(add_tag(option, &tag), 0);
  EXPECT_EQ(tag.calls, (Calls{
                           "PutField(Album, \"" + std::string(2047, 'a') + "\", -1, 0)",
                           "PutField(Comment, \"\", -1, 0)",
                           "PutField(Title, \"\x93\xfa\x96\x7b\", -1, 0)",
                           "PutField(Year, \"2002\", -1, 0)",
                           "SaveTag(0)",
                       }));
}

TEST(TagWrite, OnlyTheOwnerWriteBitOfTheEntryItselfCounts) {
  TTempFolder folder;
  const std::string read_only = make_file(folder, "0466.ape", 0466);
  const std::string link = folder.Path() + "/link.ape";
  std::filesystem::create_symlink(read_only, link);  // a link's own bits always allow writing
  const std::pair<std::string, int> cases[] = {
      {make_file(folder, "0600.ape", 0600), 0},
      {read_only, -1},  // group and others may write, the owner not
      {link, 0},
      {folder.Path() + "/missing.ape", -1},
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
