#include "platform/storage/file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/storage/attribute_test_folder.h"

namespace {

class BFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mkdtemp(fRoot.data()), nullptr); }
  void TearDown() override { std::filesystem::remove_all(fRoot); }
  std::string PathOf(const std::string& name) const { return fRoot + "/" + name; }

  std::string fRoot = testing::TempDir() + "quillet_file_XXXXXX";
};

std::string patterned(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>((i * 131) ^ (i >> 9));
  }
  return data;
}

TEST_F(BFileTest, OpenModes) {
  write_test_file(PathOf("song.ape"), "data");
  std::filesystem::create_directory(PathOf("folder"));
  struct Case {
    std::string name;
    uint32 mode;
    status_t status;
  } cases[] = {
      {"song.ape", B_READ_ONLY, B_OK},
      {"missing", B_READ_WRITE, B_ENTRY_NOT_FOUND},
      {"missing/below", B_READ_WRITE | B_CREATE_FILE, B_ENTRY_NOT_FOUND},
      {"folder", B_READ_ONLY, B_BAD_VALUE},
      {"song.ape", B_READ_ONLY | O_APPEND, B_BAD_VALUE},
  };
  for (const Case& c : cases) {
    BFile file(PathOf(c.name).c_str(), c.mode);
    EXPECT_EQ(file.InitCheck(), c.status) << c.name << " mode " << c.mode;
  }
  // A file open for reading only takes no write, by either way of copying either.
  BFile source(PathOf("song.ape").c_str(), B_READ_ONLY);
  BFile readOnly(PathOf("song.ape").c_str(), B_READ_ONLY);
  EXPECT_LT(readOnly.WriteAt(0, "x", 1), 0);
  EXPECT_LT(copy_file_data(source, readOnly), 0);
  EXPECT_LT(copy_file_data(source, readOnly, nullptr, DataCopyMethod::kReadWrite), 0);
  EXPECT_EQ(read_test_file(PathOf("song.ape")), "data");
}

// Reads stop only at the end of the file; a refused transfer changes nothing.
TEST_F(BFileTest, PositionalReadsAndWritesCheckTheirArguments) {
  BFile file(PathOf("data").c_str(), B_READ_WRITE | B_CREATE_FILE);
  ASSERT_EQ(file.WriteAt(4, "tail", 4), 4);  // the first four bytes stay a hole of zeros
  ASSERT_EQ(file.WriteAt(0, "he", 2), 2);
  char buffer[16] = {};
  EXPECT_EQ(file.ReadAt(1, buffer, sizeof buffer), 7);
  EXPECT_EQ(std::string(buffer, 7), std::string("e\0\0tail", 7));
  EXPECT_EQ(file.ReadAt(8, buffer, 1), 0);
  EXPECT_EQ(file.ReadAt(0, nullptr, 0), 0);
  EXPECT_EQ(file.ReadAt(-1, buffer, 1), B_BAD_VALUE);
  EXPECT_EQ(file.ReadAt(0, buffer, SIZE_MAX), B_BAD_VALUE);
  EXPECT_EQ(file.WriteAt(0, nullptr, 1), B_BAD_VALUE);
  EXPECT_EQ(BFile().ReadAt(0, buffer, 1), B_NO_INIT);
  EXPECT_EQ(read_test_file(PathOf("data")), std::string("he\0\0tail", 8));
}

// Both ways of copying, for sizes around the buffer of the read/write path, over a target
// that held more before: the target ends exactly as the source.
TEST_F(BFileTest, CopiesDataExactlyAndCutsTheTarget) {
  const size_t kBuffer = size_t{1} << 20;
  for (DataCopyMethod method : {DataCopyMethod::kKernelFirst, DataCopyMethod::kReadWrite}) {
    for (size_t size : {size_t{0}, kBuffer, 3 * kBuffer + 7}) {
      const std::string data = patterned(size);
      write_test_file(PathOf("source"), data);
      write_test_file(PathOf("target"), patterned(4 * kBuffer));
      BFile source(PathOf("source").c_str(), B_READ_ONLY);
      BFile target(PathOf("target").c_str(), B_WRITE_ONLY);
      off_t copied = -1;
      EXPECT_EQ(copy_file_data(source, target, &copied, method), B_OK) << size;
      EXPECT_EQ(copied, static_cast<off_t>(size));
      EXPECT_TRUE(read_test_file(PathOf("target")) == data)
          << "size " << size << " method " << static_cast<int>(method);
    }
  }
  // Kernel files report a size of 0, so the kernel copy cannot serve them.
  BFile source("/proc/version", B_READ_ONLY);
  BFile target(PathOf("version").c_str(), B_WRITE_ONLY | B_CREATE_FILE);
  EXPECT_EQ(copy_file_data(source, target), B_OK);
  EXPECT_EQ(read_test_file(PathOf("version")), read_test_file("/proc/version"));
}

}  // namespace
