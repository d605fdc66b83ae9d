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
  const std::string real = root + "/apps/Quillet/Quillet";
  fs::create_directories(root + "/apps/Quillet");
  fs::create_directories(root + "/bin");
  std::ofstream(real) << "#!/bin/sh\n";
  fs::create_symlink(real, root + "/bin/quillet");
  fs::create_symlink("../bin/quillet", root + "/apps/chain");
  const fs::path saved = fs::current_path();
  fs::current_path(root + "/apps");

  TVornAppPrivacy privacy;
  for (const std::string& start : {
           root + "/bin/quillet",   // a link in another folder
           std::string("./chain"),  // relative, a relative link leading to a second link
           std::string("../apps/Quillet//Quillet"),
       }) {
    privacy.AnalyzeExePath(start.c_str());
    EXPECT_EQ(privacy.ExeName() + " " + privacy.ExePath(), "Quillet " + root + "/apps/Quillet/")
        << start;
  }
  // A bare name is the program found through PATH, never a file of that name here: this
  // folder holds a "chain" leading to a program, yet the running executable is what counts.
  const std::string running = fs::canonical("/proc/self/exe").string();
  for (const char* bare : {"chain", "no-such-name", ""}) {
    privacy.AnalyzeExePath(bare);
    EXPECT_EQ(privacy.ExePath() + privacy.ExeName(), running) << bare;
  }
  // What cannot be resolved clears what an earlier call found.
  for (const char* start : {"/no/such/folder/Quillet", static_cast<const char*>(nullptr)}) {
    privacy.AnalyzeExePath(real.c_str());
    privacy.AnalyzeExePath(start);
    EXPECT_EQ(privacy.ExeName() + privacy.ExePath(), "") << (start ? start : "null");
  }
  fs::current_path(saved);
}

}  // namespace
