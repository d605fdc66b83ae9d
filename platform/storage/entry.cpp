#include "platform/storage/entry.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/support/errors.h"

namespace {

// The absolute, link-free form of an existing path; the file must exist.
status_t resolve(const std::string& path, std::string* resolved) {
  // The kernel names what a descriptor opened: one open and one readlink, where realpath
  // looks at every component of the path in turn.
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) {
    return status_from_errno(errno);
  }
  char link[32];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  // Small, so the call touches no fresh stack page; a longer path takes the slow way below.
  char buffer[512];
  const ssize_t length = readlink(link, buffer, sizeof buffer);
  close(fd);
  if (length > 0 && length < static_cast<ssize_t>(sizeof buffer) && buffer[0] == '/') {
    resolved->assign(buffer, static_cast<std::size_t>(length));
    return B_OK;
  }
  // No /proc, or a path it cannot name (too long, not reachable from our root).
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  if (!real) {
    return status_from_errno(errno);
  }
  *resolved = real.get();
  return B_OK;
}

// Resolves the parent folder only, so that a link as the last component stays a link.
status_t resolve_leaf(std::string path, std::string* resolved) {
  // "dir/" names the same entry as "dir"; the root keeps its only "/".
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  const std::size_t slash = path.rfind('/');
  const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  if (leaf.empty() || leaf == "." || leaf == "..") {
    // The root, "." and ".." are folders, never links: resolving them whole is exact.
    return resolve(path, resolved);
  }
  if (leaf.size() > NAME_MAX) {
    return B_NAME_TOO_LONG;
  }
  std::string parent;
  if (slash == std::string::npos) {
    parent = ".";
  } else if (slash == 0) {
    parent = "/";
  } else {
    parent = path.substr(0, slash);
  }
  std::string folder;
  status_t status = resolve(parent, &folder);
  if (status != B_OK) {
    return status;
  }
  struct stat folder_stat;
  if (stat(folder.c_str(), &folder_stat) != 0) {
    return status_from_errno(errno);
  }
  if (!S_ISDIR(folder_stat.st_mode)) {
    return B_ENTRY_NOT_FOUND;
  }
  if (folder.back() != '/') {
    folder += '/';
  }
  *resolved = folder + leaf;
  return B_OK;
}

}  // namespace

BPath::BPath(const char* path) {
  SetTo(path);
}

status_t BPath::SetTo(const char* path) {
  if (path == nullptr || *path == '\0') {
    Unset();
    return B_BAD_VALUE;
  }
  fPath = path;
  fValid = true;
  return B_OK;
}

void BPath::Unset() {
  fPath.clear();
  fValid = false;
}

BEntry::BEntry(const char* path, bool traverse) {
  SetTo(path, traverse);
}

status_t BEntry::SetTo(const char* path, bool traverse) {
  Unset();
  if (path == nullptr || *path == '\0') {
    fStatus = B_BAD_VALUE;
    return fStatus;
  }
  std::string resolved;
  fStatus = traverse ? resolve(path, &resolved) : resolve_leaf(path, &resolved);
  if (fStatus == B_OK) {
    fPath = std::move(resolved);
  }
  return fStatus;
}

void BEntry::Unset() {
  fPath.clear();
  fStatus = B_NO_INIT;
}

bool BEntry::Exists() const {
  struct stat entry_stat;
  return fStatus == B_OK && lstat(fPath.c_str(), &entry_stat) == 0;
}

status_t BEntry::GetPath(BPath* path) const {
  if (path == nullptr) {
    return B_BAD_VALUE;
  }
  if (fStatus != B_OK) {
    path->Unset();
    return fStatus;
  }
  return path->SetTo(fPath.c_str());
}

status_t BEntry::GetPermissions(mode_t* permissions) const {
  if (permissions == nullptr) {
    return B_BAD_VALUE;
  }
  if (fStatus != B_OK) {
    return fStatus;
  }
  struct stat entry_stat;
  if (lstat(fPath.c_str(), &entry_stat) != 0) {
    return status_from_errno(errno);
  }
  *permissions = entry_stat.st_mode & 07777;
  return B_OK;
}
