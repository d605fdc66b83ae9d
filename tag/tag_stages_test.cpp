#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec/lib_monkeys_audio.h"
#include "option/console_test_support.h"
#include "tag/tag_list.h"

namespace {

int gDeleted = 0;

// A fake decompressor that is its own tag: fetching fills the whole buffer unterminated, as a
// bad library may.
class TFakeDecompress : public IAPEDecompress, public CAPETag {
 public:
  ~TFakeDecompress() override { ++gDeleted; }
  int GetData(char*, intptr_t, intptr_t*) override { return kApeErrorUnsupported; }
  int Seek(intptr_t) override { return kApeErrorUnsupported; }
  intptr_t QueryInfo(int code, intptr_t, intptr_t) override {
    return code == kApeInfoTag ? reinterpret_cast<intptr_t>(static_cast<CAPETag*>(this)) : 0;
  }
  int SaveTag(int) override { return 0; }
  int EraseTag(int) override { return 0; }
  int PutField(const char*, const char*, int, int) override { return 0; }
  int FetchField(const char*, char* buffer, int* buffer_bytes) override {
    std::memset(buffer, 'x', static_cast<std::size_t>(*buffer_bytes));
    return 0;
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

}  // namespace
