#include "tag/tag_list.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

#include "codec/lib_monkeys_audio.h"
#include "tag/fake_tag_test_support.h"

namespace {

class TCaptureOutput {
 public:
  TCaptureOutput() : fOld(std::cout.rdbuf(fText.rdbuf())) {}
  ~TCaptureOutput() { std::cout.rdbuf(fOld); }
  std::string Text() const { return fText.str(); }

 private:
  std::ostringstream fText;
  std::streambuf* fOld;
};

// What the fake factory opens: the tag, and a count of deleted decompressors.
TFakeTag* gOpenTag = nullptr;
int gDeleted = 0;
std::string gOpenedName;

IAPEDecompress* open_fake(const char* file_name, int* error_code) {
  gOpenedName = file_name;
  if (gOpenTag == nullptr) {
    *error_code = kApeErrorOpenFile;
    return nullptr;
  }
  return new TFakeDecompress(gOpenTag, &gDeleted);
}

class TagList : public ::testing::Test {
 protected:
  void SetUp() override {
    lma::create_iapedecompress = open_fake;
    gOpenTag = &fTag;
    gDeleted = 0;
  }
  void TearDown() override { lma::create_iapedecompress = nullptr; }

  std::string List(const TTagOption& option, int expected_result = 0) {
    TCaptureOutput output;
    EXPECT_EQ(exp_tag(option), expected_result);
    return output.Text();
  }

  TFakeTag fTag;
};

TEST_F(TagList, PrintsSevenLabelledLinesInItsOwnOrder) {
  fTag.fields = {{"Track", "7/12"}, {"Title", "Intro"}, {"Artist", "日本語"}};
  TTagOption option;
  option.file_name = "./My Song.ape";
  EXPECT_EQ(List(option),
            "Title: Intro\n"
            "Artist: 日本語\n"
            "Album: \n"
            "Comment: \n"
            "Year: \n"
            "Genre: \n"
            "Track: 7/12\n");
  EXPECT_EQ(gOpenedName, "./My Song.ape");
  EXPECT_EQ(gDeleted, 1);
}

TEST_F(TagList, AFileThatDoesNotOpenPrintsNothing) {
  gOpenTag = nullptr;
  TTagOption option;
  option.file_name = "missing.ape";
  EXPECT_EQ(List(option, -1), "");
  EXPECT_EQ(gDeleted, 0);
}

TEST_F(TagList, ConvertsEachFieldFromTheSetItIsStoredIn) {
  // Shift-JIS and JIS for "日本", and plain UTF-8.
  fTag.fields = {{"Title", "\x93\xfa\x96\x7b"}, {"Artist", "\x1b$BF|K\\\x1b(B"}, {"Album", "日本"}};
  struct Case {
    uint32 char_set;
    std::string title, artist, album;
  };
  const Case cases[] = {
      {kCharSetAuto, "日本", "日本", "日本"},  // each field's set detected on its own
      {kCharSetUtf8, "\x93\xfa\x96\x7b", "\x1b$BF|K\\\x1b(B", "日本"},  // shown as stored
  };
  for (const Case& c : cases) {
    TTagOption option;
    option.char_set = c.char_set;
    const std::string text = List(option);
    EXPECT_EQ(text.substr(0, text.find("Comment: ")),
              "Title: " + c.title + "\nArtist: " + c.artist + "\nAlbum: " + c.album + "\n")
        << c.char_set;
  }
}

TEST_F(TagList, NeverReadsPastAFieldBufferLeftUnterminated) {
  fTag.unterminated = true;
  TTagOption option;
  option.char_set = kCharSetUtf8;
  const std::string text = List(option);
  EXPECT_EQ(text.substr(0, text.find('\n')), "Title: " + std::string(2047, 'x'));
}

}  // namespace
