// For tests: a fixture whose tests work with relative names, so that a name's first byte is the
// argument's, in a fresh current folder, removed with everything in it, that keeps user extended
// attributes: tmpfs does not on every kernel, so the folder is made under the build folder first
// and under the system's temporary folder only when that fails.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/xattr.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fixtures.h"

// The largest value `file`, with its attributes now, accepts for `name` (at most the kernel's
// 64 KiB; ext4 keeps all of a file's attributes in about one block), leaving no `name` behind.
inline size_t largest_attribute_value(const std::string& file, const char* name) {
  size_t low = 0;
  size_t high = 65536;
  std::vector<char> value(high, 'x');
  while (low < high) {
    const size_t middle = (low + high + 1) / 2;
    if (setxattr(file.c_str(), name, value.data(), middle, 0) == 0) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  removexattr(file.c_str(), name);
  return low;
}

inline constexpr const char* kSource = "from/song.ape";

class TWorkingFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& parent :
         {std::string(QUILLET_BINARY_DIR) + "/test-scratch", testing::TempDir()}) {
      std::filesystem::create_directories(parent, fIgnored);
      std::string pattern = parent + "/attributes_XXXXXX";
      if (mkdtemp(pattern.data()) != nullptr &&
          setxattr(pattern.c_str(), "user.quillet.probe", "1", 1, 0) == 0) {
        removexattr(pattern.c_str(), "user.quillet.probe");
        fFolder = pattern;
        break;
      }
      std::filesystem::remove_all(pattern, fIgnored);
    }
    if (fFolder.empty())
      GTEST_SKIP() << "no folder here (build folder or temporary folder) keeps user attributes";
    fSavedFolder = std::filesystem::current_path();
    std::filesystem::current_path(fFolder);
    std::filesystem::create_directories("from");
    std::filesystem::create_directories("to");
    std::ofstream(kSource) << "audio data";
  }
  void TearDown() override {
    if (!fSavedFolder.empty())
      std::filesystem::current_path(fSavedFolder);
    if (!fFolder.empty())
      std::filesystem::remove_all(fFolder, fIgnored);
  }

  std::string fFolder;
  std::filesystem::path fSavedFolder;
  std::error_code fIgnored;
};
