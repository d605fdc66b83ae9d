#include "identity/identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "option/console_test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(Identity, AnalyzeExePathFindsTheRealExecutableOrNothing) {
  TTempFolder folder;
  // The real folder: the temporary folder itself may lie behind a link.
  const std::string root = fs::canonical(folder.Path()).string();
  fs::create_directories(root + "/apps/Quillet");
  fs::create_directories(root + "/bin");
  std::ofstream(root + "/apps/Quillet/Quillet") << "#!/bin/sh\n";
  fs::create_symlink(root + "/apps/Quillet/Quillet", root + "/bin/quillet");
  fs::create_symlink("../bin/quillet", root + "/apps/chain");
  const fs::path saved = fs::current_path();
  fs::current_path(root + "/apps");

  TVornAppPrivacy privacy;
  for (const std::string& start : {
           root + "/apps/Quillet/Quillet",
           root + "/bin/quillet",  // a link in another folder
           std::string("chain"),   // relative, a relative link leading to a second link
           std::string("./Quillet/Quillet"),
           std::string("../apps/Quillet//Quillet"),
       }) {
    privacy.AnalyzeExePath(start.c_str());
    EXPECT_EQ(privacy.ExeName(), "Quillet") << start;
    EXPECT_EQ(privacy.ExePath(), root + "/apps/Quillet/") << start;
  }
  // What cannot be resolved clears what an earlier call found.
  for (const char* start : {"/no/such/folder/Quillet", "", static_cast<const char*>(nullptr)}) {
    privacy.AnalyzeExePath((root + "/apps/Quillet/Quillet").c_str());
    privacy.AnalyzeExePath(start);
    EXPECT_EQ(privacy.ExeName(), "") << (start == nullptr ? "null" : start);
    EXPECT_EQ(privacy.ExePath(), "") << (start == nullptr ? "null" : start);
  }
  EXPECT_EQ(privacy.lib_image, -1);
  fs::current_path(saved);
}

}  // namespace
