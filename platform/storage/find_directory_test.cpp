#include "platform/storage/find_directory.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// Sets HOME (unsets it for null) and returns the user library folder find_directory_r gives.
std::string user_lib_directory(const char* home) {
  home != nullptr ? setenv("HOME", home, 1) : unsetenv("HOME");
  BPath path;
  status_t status = find_directory_r(B_USER_LIB_DIRECTORY, &path);
  return status == B_OK ? std::string(path.Path()) : "status " + std::to_string(status);
}

TEST(FindDirectory, UserLibFolderFollowsHomeAndCreatesNothing) {
  const struct passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const std::string passwd_home = entry->pw_dir;
  const std::string passwd_lib = (passwd_home == "/" ? "" : passwd_home) + "/.local/lib";
  const std::pair<const char*, std::string> cases[] = {
      {"/home/someone/", "/home/someone/.local/lib"},
      {"/", "/.local/lib"},
      {"", passwd_lib},       // empty: as if unset
      {nullptr, passwd_lib},  // unset: the passwd entry's home
  };
  for (const auto& [home, expected] : cases) {
    EXPECT_EQ(user_lib_directory(home), expected) << (home ? home : "(unset)");
  }

  char folder[] = "/tmp/quillet-home-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  EXPECT_EQ(user_lib_directory(folder), std::string(folder) + "/.local/lib");
  EXPECT_EQ(access((std::string(folder) + "/.local").c_str(), F_OK), -1);
  rmdir(folder);
}

TEST(FindDirectory, RefusesWhatItCannotDo) {
  BPath path("/unchanged");
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, nullptr), B_BAD_VALUE);
  EXPECT_EQ(find_directory_r(static_cast<directory_which>(3000), &path), B_BAD_VALUE);
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, &path, true), B_BAD_VALUE);
  int volume = 0;
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, &path, false, &volume), B_BAD_VALUE);
  EXPECT_STREQ(path.Path(), "/unchanged");
}

}  // namespace
