#include "platform/storage/node.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/storage/attribute_test_folder.h"

namespace {

// Whole values under any name, and listing them, are covered by the copy's own tests; these are
// the edges of the contract the copy does not reach.
TEST(BNode, ReadsValuesInPartsAndRefusesWritesWithoutChange) {
  AttributeTestFolder folder;
  if (folder.Path().empty()) {
    GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
  }
  EXPECT_EQ(BNode((folder / "missing").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(BNode("").InitCheck(), B_BAD_VALUE);
  write_test_file(folder / "song.ape", "contents");
  BNode node((folder / "song.ape").c_str());
  ASSERT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 0, "a much longer value", 19), 19);
  ASSERT_EQ(node.WriteAttr("user.a", 0x4c4f4e47, 0, "0123456789", 10), 10);
  char buffer[16] = {};
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 6, buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 10, buffer, 1), 0);
  EXPECT_EQ(node.ReadAttr("user.missing", B_RAW_TYPE, 0, buffer, 1), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, -1, buffer, 1), B_BAD_VALUE);

  EXPECT_LT(node.WriteAttr("plain", B_RAW_TYPE, 0, "x", 1), 0);  // Linux needs a namespace
  EXPECT_EQ(node.WriteAttr("user.a", B_RAW_TYPE, 2, "x", 1), B_BAD_VALUE);
  EXPECT_EQ(node.ReadAttr("user.a", B_RAW_TYPE, 0, buffer, sizeof buffer), 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
}

}  // namespace
