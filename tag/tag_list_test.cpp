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

IAPEDecompress* open_fake(const char* file_name, int* error_code) {
  (void)file_name;
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

TEST_F(TagList, AFileThatDoesNotOpenPrintsNothing) {
  gOpenTag = nullptr;
  TTagOption option;
  option.file_name = "missing.ape";
  EXPECT_EQ(List(option, -1), "");
  EXPECT_EQ(gDeleted, 0);
}

TEST_F(TagList, NeverReadsPastAFieldBufferLeftUnterminated) {
  fTag.unterminated = true;
  TTagOption option;
  option.char_set = kCharSetUtf8;
  const std::string text = List(option);
  EXPECT_EQ(text.substr(0, text.find('\n')), "Title: " + std::string(2047, 'x'));
  EXPECT_EQ(gDeleted, 1);
}

}  // namespace
