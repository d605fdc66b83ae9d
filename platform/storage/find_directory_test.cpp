#include "platform/storage/find_directory.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// With HOME set (unset for null): the user library folder, or B_BAD_VALUE with the path left
// as it was for what it cannot do.
TEST(FindDirectory, UserLibFolderFollowsHomeOrTheAccount) {
  const struct passwd* account = getpwuid(getuid());
  ASSERT_NE(account, nullptr);
  const std::string home = account->pw_dir;
  const std::string account_lib = (home == "/" ? "" : home) + "/.local/lib";
  const int volume = 0;
  const struct {
    const char* home;
    std::string expected;  // "/unchanged": refused
    directory_which which = B_USER_LIB_DIRECTORY;
    bool create_it = false;
    const void* volume = nullptr;
  } cases[] = {
      {"/home/someone/", "/home/someone/.local/lib"},
      {"/", "/.local/lib"},
      {"", account_lib},       // empty: as if unset
      {nullptr, account_lib},  // unset: the passwd entry's home
      {"/home/someone", "/unchanged", static_cast<directory_which>(3000)},
      {"/home/someone", "/unchanged", B_USER_LIB_DIRECTORY, true},
      {"/home/someone", "/unchanged", B_USER_LIB_DIRECTORY, false, &volume},
  };
  for (const auto& c : cases) {
    c.home != nullptr ? setenv("HOME", c.home, 1) : unsetenv("HOME");
    BPath path("/unchanged");
    EXPECT_EQ(find_directory_r(c.which, &path, c.create_it, c.volume),
              c.expected == "/unchanged" ? B_BAD_VALUE : B_OK);
    EXPECT_EQ(path.Path(), c.expected) << (c.home ? c.home : "(unset)");
  }
  EXPECT_EQ(find_directory_r(B_USER_LIB_DIRECTORY, nullptr), B_BAD_VALUE);
}

}  // namespace
