#include "identity/identity.h"

#include "platform/storage/entry.h"
#include "util/path.h"

const char* const gAppName = "Quillet";
const char* const gAppVer = "Ver 1.30";
const char* const gCright = "Copyright (C) %AppAuthor%. All rights reserved.";
const char* const gAppAuthorJ = "ＴＡＲＶＩＫ";
const char* const gAppAuthorE = "TARVIK";
const char* const gAppSignature = "application/x-vnd.TARVIK-Quillet";

TVornAppPrivacy gAppPrivacy;

void TAppPrivacy::AnalyzeExePath(const char* start_path) {
  exe_name.clear();
  exe_path.clear();
  if (start_path == nullptr) {
    return;
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
