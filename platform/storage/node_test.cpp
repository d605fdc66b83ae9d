#include "platform/storage/node.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/storage/attribute_test_folder.h"

namespace {

class BNodeTest : public testing::Test {
 protected:
  void SetUp() override {
    if (fFolder.Path().empty()) {
      GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
    }
    fFile = fFolder / "song.ape";
    write_test_file(fFile, "contents");
  }

  std::set<std::string> ListNames(BNode& node) {
    std::set<std::string> names;
    char name[B_ATTR_NAME_LENGTH];
    while (node.GetNextAttrName(name) == B_OK) {
      if (std::string(name).rfind("user.", 0) == 0) {
        names.insert(name);
      }
    }
    return names;
  }

  std::string ReadValue(const BNode& node, const char* name) {
    attr_info info;
    EXPECT_EQ(node.GetAttrInfo(name, &info), B_OK) << name;
    std::string value(static_cast<size_t>(info.size), '\0');
    EXPECT_EQ(node.ReadAttr(name, B_RAW_TYPE, 0, value.data(), value.size()), info.size);
    return value;
  }

  AttributeTestFolder fFolder;
  std::string fFile;
};

TEST_F(BNodeTest, SetToReportsWhatLiesAtThePath) {
  std::filesystem::create_directory(fFolder / "folder");
  EXPECT_FALSE(BNode(fFile.c_str()).IsDirectory());
  EXPECT_TRUE(BNode((fFolder / "folder").c_str()).IsDirectory());
  EXPECT_EQ(BNode((fFolder / "missing").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(BNode("").InitCheck(), B_BAD_VALUE);
  EXPECT_EQ(BNode(nullptr).InitCheck(), B_BAD_VALUE);
}

TEST_F(BNodeTest, AttributesRoundTripByteForByte) {
  std::map<std::string, std::string> values = {
      {"user.text", "Title"},
      {"user.binary", std::string("\0\xff\x01\n\0", 5)},
      {"user.\xe6\x9b\xb2", "\x82\xa0 shift-jis bytes"},
  };
  {
    BNode node(fFile.c_str());
    // The largest value that still fits beside the others.
    for (const auto& [name, value] : values) {
      ASSERT_GE(node.WriteAttr(name.c_str(), B_RAW_TYPE, 0, value.data(), value.size()), 0);
    }
    std::string large(largest_attribute_value(fFile, "user.large"), '\0');
    ASSERT_GT(large.size(), 1000u);
    for (size_t i = 0; i < large.size(); ++i) {
      large[i] = static_cast<char>(i * 7 + 3);
    }
    values["user.large"] = large;
    for (const auto& [name, value] : values) {
      // The type is not kept: any code may be given.
      EXPECT_EQ(node.WriteAttr(name.c_str(), 0x4c4f4e47, 0, value.data(), value.size()),
                static_cast<ssize_t>(value.size()))
          << name;
    }
  }
  BNode node(fFile.c_str());
  std::set<std::string> expectedNames;
  for (const auto& [name, value] : values) {
    expectedNames.insert(name);
    attr_info info;
    ASSERT_EQ(node.GetAttrInfo(name.c_str(), &info), B_OK);
    EXPECT_EQ(info.type, B_RAW_TYPE);
    EXPECT_EQ(ReadValue(node, name.c_str()), value) << name;
  }
  EXPECT_EQ(ListNames(node), expectedNames);
  char name[B_ATTR_NAME_LENGTH] = "unchanged";
  EXPECT_EQ(node.GetNextAttrName(name), B_ENTRY_NOT_FOUND);
  EXPECT_STREQ(name, "unchanged");
  ASSERT_EQ(node.RewindAttrs(), B_OK);
  EXPECT_EQ(ListNames(node), expectedNames);
}

// A value is read in parts and replaced whole; a refused write changes nothing.
TEST_F(BNodeTest, PartialReadsWholeWritesAndRefusals) {
  BNode node(fFile.c_str());
  ASSERT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 0, "a much longer value", 19), 19);
  ASSERT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 0, "0123456789", 10), 10);
  char buffer[8] = {};
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 6, buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "6789");
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 10, buffer, 1), 0);
  EXPECT_EQ(node.ReadAttr("user.missing", B_RAW_TYPE, 0, buffer, 1), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, -1, buffer, 1), B_BAD_VALUE);

  std::vector<char> tooLarge(70000, 'x');
  EXPECT_LT(node.WriteAttr("user.a", B_RAW_TYPE, 0, tooLarge.data(), tooLarge.size()), 0);
  EXPECT_LT(node.WriteAttr("plain", B_RAW_TYPE, 0, "x", 1), 0);  // Linux needs a namespace
  EXPECT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 2, "x", 1), B_BAD_VALUE);
  EXPECT_EQ(ReadValue(node, "user.a"), "0123456789");
  EXPECT_EQ(ListNames(node), std::set<std::string>{"user.a"});
}

}  // namespace
