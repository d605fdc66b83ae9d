// BPath and BEntry: absolute paths and file-system entries, over realpath and lstat.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/support/support_defs.h"

class BPath {
 public:
  BPath() = default;
  explicit BPath(const char* path);

  // Takes `path` as it is (no normalisation). Null or empty: B_BAD_VALUE, and the path is unset.
  status_t SetTo(const char* path);
  void Unset();
  status_t InitCheck() const { return fValid ? B_OK : B_NO_INIT; }
  // Null while the path is unset, as on the platform.
  const char* Path() const { return fValid ? fPath.c_str() : nullptr; }

 private:
  std::string fPath;
  bool fValid = false;
};

class BEntry {
 public:
  BEntry() = default;
  BEntry(const char* path, bool traverse = false);

  // traverse true: the entry is the file the path finally leads to (links followed,
  // realpath); the file must exist. traverse false: the entry is the path's own leaf, a
  // symbolic link stays a link; its parent folder must exist, the leaf need not. A relative
  // path resolves against the current folder. Returns the entry's init status.
  status_t SetTo(const char* path, bool traverse = false);
  void Unset();
  status_t InitCheck() const { return fStatus; }
  bool Exists() const;

  // Absolute path of the entry.
  status_t GetPath(BPath* path) const;
  // Permission bits (st_mode & 07777) of the entry itself (lstat: a link's own bits).
  status_t GetPermissions(mode_t* permissions) const;

 private:
  std::string fPath;
  status_t fStatus = B_NO_INIT;
};
