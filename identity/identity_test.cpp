#include "identity/identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "option/console_test_support.h"

namespace {

namespace fs = std::filesystem;

// Runs the test body in `folder` and goes back to the previous current folder.
class TScopedCurrentFolder {
 public:
  explicit TScopedCurrentFolder(const std::string& folder) : fSaved(fs::current_path()) {
    fs::current_path(folder);
  }
  ~TScopedCurrentFolder() { fs::current_path(fSaved); }

 private:
  fs::path fSaved;
};

TEST(Identity, CreditLineIsOneLineNamingTheAuthor) {
  EXPECT_NE(std::strstr(gCright, "%AppAuthor%"), nullptr);
  EXPECT_EQ(std::strchr(gCright, '\n'), nullptr);
}

TEST(Identity, GlobalObjectStartsWithNothingLoadedAndNoPath) {
  EXPECT_EQ(gAppPrivacy.lib_image, -1);
  EXPECT_EQ(gAppPrivacy.ExePath(), "");
  EXPECT_EQ(gAppPrivacy.ExeName(), "");
}

class ExePath : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(fFolder.Path().empty());
    // The real folder: the temporary folder itself may lie behind a link.
    fRoot = fs::canonical(fFolder.Path()).string();
    fs::create_directories(fRoot + "/apps/Quillet");
    fs::create_directories(fRoot + "/bin");
    std::ofstream(fRoot + "/apps/Quillet/Quillet") << "#!/bin/sh\n";
  }

  TTempFolder fFolder;
  std::string fRoot;
};

TEST_F(ExePath, ResolvesToTheRealExecutableAndItsFolder) {
  fs::create_symlink(fRoot + "/apps/Quillet/Quillet", fRoot + "/bin/quillet");
  fs::create_symlink("../bin/quillet", fRoot + "/apps/chain");
  TScopedCurrentFolder current(fRoot + "/apps");
  const std::string starts[] = {
      fRoot + "/apps/Quillet/Quillet",
      // Links in another folder, one of them relative and leading to a second link.
      fRoot + "/bin/quillet",
      fRoot + "/apps/chain",
      // Relative to the current folder.
      "Quillet/Quillet",
      "./Quillet/Quillet",
      "../apps/Quillet//Quillet",
      "chain",
  };
  TAppPrivacy privacy;
  for (const std::string& start : starts) {
    SCOPED_TRACE(start);
    privacy.AnalyzeExePath(start.c_str());
    EXPECT_EQ(privacy.ExeName(), "Quillet");
    EXPECT_EQ(privacy.ExePath(), fRoot + "/apps/Quillet/");
  }
}

TEST_F(ExePath, UnresolvableStartPathGivesEmptyNameAndFolder) {
  TVornAppPrivacy privacy;
  for (const char* start : {"/no/such/folder/Quillet", "", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(start == nullptr ? "null" : start);
    privacy.AnalyzeExePath((fRoot + "/apps/Quillet/Quillet").c_str());
    privacy.AnalyzeExePath(start);
    EXPECT_EQ(privacy.ExeName(), "");
    EXPECT_EQ(privacy.ExePath(), "");
  }
  EXPECT_EQ(privacy.lib_image, -1);
}

}  // namespace
