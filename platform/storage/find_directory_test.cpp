#include "platform/storage/find_directory.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets HOME for one test and puts the old value back.
class THomeVariable {
 public:
  explicit THomeVariable(const char* value) {
    if (const char* old = std::getenv("HOME")) {
      fOld = old;
    }
    if (value == nullptr) {
      unsetenv("HOME");
    } else {
      setenv("HOME", value, 1);
    }
  }
  ~THomeVariable() {
    if (fOld) {
      setenv("HOME", fOld->c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }

 private:
  std::optional<std::string> fOld;
};

std::string user_lib_directory() {
  BPath path;
  status_t status = find_directory_r(B_USER_LIB_DIRECTORY, &path);
  return status == B_OK ? std::string(path.Path()) : "status " + std::to_string(status);
}

TEST(FindDirectory, UserLibFolderFollowsHome) {
  const struct passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const std::string passwd_home = entry->pw_dir;
  const std::string passwd_lib = (passwd_home == "/" ? "" : passwd_home) + "/.local/lib";

  struct Case {
    const char* home;
    std::string expected;
  };
  const Case cases[] = {
      {"/home/someone", "/home/someone/.local/lib"},
      {"/home/someone/", "/home/someone/.local/lib"},
      {"/", "/.local/lib"},
      {"/home/with space", "/home/with space/.local/lib"},
      {"", passwd_lib},       // empty: as if unset
      {nullptr, passwd_lib},  // unset: the passwd entry's home
  };
  for (const Case& c : cases) {
    THomeVariable home(c.home);
    EXPECT_EQ(user_lib_directory(), c.expected) << (c.home ? c.home : "(unset)");
  }
}

TEST(FindDirectory, RefusesWhatItCannotDo) {
  THomeVariable home("/home/someone");
  BPath path("/unchanged");
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, nullptr), B_BAD_VALUE);
  EXPECT_EQ(find_directory_r(static_cast<directory_which>(3000), &path), B_BAD_VALUE);
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, &path, true), B_BAD_VALUE);
  int volume = 0;
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, &path, false, &volume), B_BAD_VALUE);
  EXPECT_STREQ(path.Path(), "/unchanged");
}

TEST(FindDirectory, CreatesNothing) {
  char folder_template[] = "/tmp/quillet-home-XXXXXX";
  ASSERT_NE(mkdtemp(folder_template), nullptr);
  THomeVariable home(folder_template);
  EXPECT_EQ(user_lib_directory(), std::string(folder_template) + "/.local/lib");
  EXPECT_EQ(access((std::string(folder_template) + "/.local").c_str(), F_OK), -1);
  rmdir(folder_template);
}

}  // namespace
