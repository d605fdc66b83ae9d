// For tests: each test works with relative names in a fresh folder that keeps user extended
// attributes, its current folder while the test runs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/storage/attribute_test_folder.h"

class TWorkingFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    if (fFolder.Path().empty())
      GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
    fSavedFolder = std::filesystem::current_path();
    std::filesystem::current_path(fFolder.Path());
  }
  void TearDown() override {
    if (!fSavedFolder.empty())
      std::filesystem::current_path(fSavedFolder);
  }

  AttributeTestFolder fFolder;
  std::filesystem::path fSavedFolder;
};
