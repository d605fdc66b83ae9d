#include "identity/identity.h"

#include <cstring>

#include "platform/storage/entry.h"
#include "util/path.h"

const char* const gAppName = "Quillet";
const char* const gAppVer = "Ver 1.30";
const char* const gCright = "Copyright (C) %AppAuthor%. All rights reserved.";
const char* const gAppAuthorJ = "ＴＡＲＶＩＫ";
const char* const gAppAuthorE = "TARVIK";
const char* const gAppSignature = "application/x-vnd.TARVIK-Quillet";

TVornAppPrivacy gAppPrivacy;

namespace {

constexpr const char* kRunningExecutable = "/proc/self/exe";

}  // namespace

void TAppPrivacy::AnalyzeExePath(const char* start_path) {
  exe_name.clear();
  exe_path.clear();
  if (start_path == nullptr) {
    return;
  }
  // A start path without "/" is a name the shell found through PATH (or any text the caller
  // chose), not a path: resolved against the current folder it would find whatever lies there
  // under that name. The kernel knows which file it started.
  if (std::strchr(start_path, '/') == nullptr) {
    start_path = kRunningExecutable;
  }
  BEntry entry(start_path, true);
  BPath path;
  entry.GetPath(&path);
  if (path.Path() == nullptr) {
    return;
  }
  exe_name = extract_file_name(path.Path());
  exe_path = extract_file_folder_path_kernel(path.Path(), 1);
}
