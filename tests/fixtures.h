// Whole files, and the sample files of other tag software in the folder the build was configured
// with (QUILLET_FIXTURES_DIR): without them, the tests that read them skip.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string read_file(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

#define SKIP_WITHOUT_FIXTURES()                             \
  if (!std::filesystem::is_directory(QUILLET_FIXTURES_DIR)) \
  GTEST_SKIP() << "no sample files in " QUILLET_FIXTURES_DIR
