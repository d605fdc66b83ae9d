#include "util/copy_file.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/storage/file.h"
#include "platform/storage/node.h"
#include "util/path.h"

namespace {

// Only the permission bits travel to a new copy: set-user-ID, set-group-ID and sticky bits
// are dropped, as cp does without --preserve.
constexpr mode_t kCopiedPermissionBits = 0777;
constexpr char kCopiedAttributePrefix[] = "user.";

std::string decide_target(const char* source, const char* destination) {
  std::string target = destination;
  if (BNode(destination).IsDirectory()) {
    if (target.back() != '/') {
      target += '/';
    }
    target += extract_file_name(source);
  }
  return target;
}

// The target names the same file as the source (the same path, a hard link, a link): writing
// it would destroy the source before it is read.
bool is_same_file(const BFile& sourceFile, const std::string& target) {
  struct stat sourceStat;
  struct stat targetStat;
  BNode targetNode(target.c_str());
  return sourceFile.GetStat(&sourceStat) == B_OK && targetNode.GetStat(&targetStat) == B_OK &&
         sourceStat.st_dev == targetStat.st_dev && sourceStat.st_ino == targetStat.st_ino;
}

status_t copy_contents(const BFile& sourceFile, const std::string& target) {
  struct stat sourceStat;
  if (status_t status = sourceFile.GetStat(&sourceStat); status != B_OK) {
    return status;
  }
  if (is_same_file(sourceFile, target)) {
    return B_NOT_ALLOWED;
  }
  // An existing target is overwritten in place and keeps its mode. Only when there is none is
  // one created, exclusively: O_EXCL refuses to follow a dangling symbolic link, so the copy
  // never lands wherever such a link points (cp refuses it too).
  BFile targetFile(target.c_str(), B_WRITE_ONLY | B_ERASE_FILE);
  if (targetFile.InitCheck() == B_ENTRY_NOT_FOUND) {
    targetFile.SetTo(target.c_str(), B_WRITE_ONLY | B_CREATE_FILE | B_FAIL_IF_EXISTS,
                     sourceStat.st_mode & kCopiedPermissionBits);
  }
  if (status_t status = targetFile.InitCheck(); status != B_OK) {
    return status;
  }
  return copy_file_data(sourceFile, targetFile);
}

// The family's attributes live in the user namespace. The others are the kernel's: an ACL
// (system.posix_acl_*) would rewrite the target's permission bits and grant other users
// access, and security.* would hand the copy capabilities or a security label.
bool is_copied_attribute(const char* name) {
  return std::strncmp(name, kCopiedAttributePrefix, sizeof kCopiedAttributePrefix - 1) == 0;
}

void copy_attributes(BFile& sourceFile, BFile& targetFile) {
  char name[B_ATTR_NAME_LENGTH];
  while (sourceFile.GetNextAttrName(name) == B_OK) {
    if (!is_copied_attribute(name)) {
      continue;
    }
    attr_info info;
    if (sourceFile.GetAttrInfo(name, &info) != B_OK) {
      continue;
    }
    const size_t size = static_cast<size_t>(info.size);
    std::unique_ptr<char[]> value(new char[size > 0 ? size : 1]);
    ssize_t read = sourceFile.ReadAttr(name, info.type, 0, value.get(), size);
    if (read < 0) {
      continue;
    }
    targetFile.WriteAttr(name, info.type, 0, value.get(), static_cast<size_t>(read));
  }
}

}  // namespace

int copy_file(const char* source, const char* destination) {
  if (source == nullptr || destination == nullptr || *destination == '\0') {
    return -1;
  }
  BFile sourceFile(source, B_READ_ONLY);
  const std::string target = decide_target(source, destination);
  if (target.size() > static_cast<size_t>(kCopyTargetPathMax)) {
    return -1;
  }

  if (sourceFile.InitCheck() == B_OK) {
    // A failure shows only in whether the target opens below.
    copy_contents(sourceFile, target);
  }

  BFile targetFile(target.c_str(), B_READ_WRITE);
  if (targetFile.InitCheck() != B_OK) {
    return -1;
  }
  copy_attributes(sourceFile, targetFile);
  return 0;
}
