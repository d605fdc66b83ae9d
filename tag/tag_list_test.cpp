#include "tag/tag_list.h"

#include <gtest/gtest.h>

#include <string>

#include "codec/lib_monkeys_audio.h"
#include "option/console_test_support.h"
#include "tag/fake_tag_test_support.h"

namespace {

// What the fake factory opens (nothing: the file does not open), and how many it deleted.
TFakeTag* gOpenTag = nullptr;
int gDeleted = 0;

IAPEDecompress* open_fake(const char*, int* error_code) {
  if (gOpenTag == nullptr) {
    *error_code = kApeErrorOpenFile;
    return nullptr;
  }
  return new TFakeDecompress(gOpenTag, &gDeleted);
}

TEST(TagList, PrintsNothingForAFileThatDoesNotOpenAndNeverReadsPastAField) {
  lma::create_iapedecompress = open_fake;
  TTagOption option;
  option.char_set = kCharSetUtf8;
  {
    TCoutCapture output;
    EXPECT_EQ(exp_tag(option), -1);
    EXPECT_EQ(output.Text(), "");
    EXPECT_EQ(gDeleted, 0);
  }
  // A library that fills a field's whole buffer and leaves it unterminated.
  TFakeTag tag;
  tag.unterminated = true;
  gOpenTag = &tag;
  TCoutCapture output;
  EXPECT_EQ(exp_tag(option), 0);
  const std::string text = output.Text();
  EXPECT_EQ(text.substr(0, text.find('\n')), "Title: " + std::string(2047, 'x'));
  EXPECT_EQ(gDeleted, 1);
  lma::create_iapedecompress = nullptr;
}

}  // namespace
