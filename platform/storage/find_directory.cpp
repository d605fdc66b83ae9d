#include "platform/storage/find_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool home_folder(std::string* home) {
  const char* variable = std::getenv("HOME");
  if (variable != nullptr && variable[0] != '\0') {
    *home = variable;
    return true;
  }
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
    return false;
  }
  *home = found->pw_dir;
  return true;
}

}  // namespace

status_t find_directory_r(directory_which which, BPath* path, bool create_it, const void* volume) {
  if (path == nullptr || create_it || volume != nullptr || which != B_USER_LIB_DIRECTORY) {
    return B_BAD_VALUE;
  }
  std::string folder;
  if (!home_folder(&folder)) {
    return B_ENTRY_NOT_FOUND;
  }
  while (folder.size() > 1 && folder.back() == '/') {
    folder.pop_back();
  }
  if (folder != "/") {
    folder += '/';
  }
  folder += ".local/lib";
  return path->SetTo(folder.c_str());
}
