#include "platform/storage/node.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/support/errors.h"

BNode::BNode(const char* path) {
  fStatus = Examine(path);
}

BNode::~BNode() = default;

status_t BNode::SetTo(const char* path) {
  Unset();
  return fStatus = Examine(path);
}

status_t BNode::Examine(const char* path) {
  if (path == nullptr || *path == '\0') {
    return B_BAD_VALUE;
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    return status_from_errno(errno);
  }
  fPath = path;
  return B_OK;
}

void BNode::Unset() {
  fPath.clear();
  fDescriptor = -1;
  fStatus = B_NO_INIT;
  fAttrNames.clear();
  fAttrCursor = 0;
  fAttrNamesListed = false;
}

void BNode::SetToDescriptor(int fd, const char* path) {
  BNode::Unset();
  fDescriptor = fd;
  fPath = path;
  fStatus = B_OK;
}

status_t BNode::GetStat(struct stat* st) const {
  if (fStatus != B_OK) {
    return B_NO_INIT;
  }
  if (st == nullptr) {
    return B_BAD_VALUE;
  }
  int result = fDescriptor >= 0 ? fstat(fDescriptor, st) : stat(fPath.c_str(), st);
  return result == 0 ? B_OK : status_from_errno(errno);
}

bool BNode::IsDirectory() const {
  struct stat st;
  return GetStat(&st) == B_OK && S_ISDIR(st.st_mode);
}

status_t BNode::GetNextAttrName(char* buffer) {
  if (fStatus != B_OK) {
    return B_NO_INIT;
  }
  if (buffer == nullptr) {
    return B_BAD_VALUE;
  }
  if (!fAttrNamesListed) {
    // The list may grow between the size query and the read: ask again until it fits.
    std::vector<char> names;
    for (;;) {
      ssize_t size = fDescriptor >= 0 ? flistxattr(fDescriptor, nullptr, 0)
                                      : listxattr(fPath.c_str(), nullptr, 0);
      if (size < 0) {
        return status_from_errno(errno);
      }
      names.resize(static_cast<size_t>(size));
      if (size == 0) {
        break;
      }
      ssize_t got = fDescriptor >= 0 ? flistxattr(fDescriptor, names.data(), names.size())
                                     : listxattr(fPath.c_str(), names.data(), names.size());
      if (got >= 0) {
        names.resize(static_cast<size_t>(got));
        break;
      }
      if (errno != ERANGE) {
        return status_from_errno(errno);
      }
    }
    fAttrNames = std::move(names);
    fAttrCursor = 0;
    fAttrNamesListed = true;
  }
  // Names are NUL-separated; a name too long for the buffer cannot come from Linux and is
  // passed over rather than cut.
  while (fAttrCursor < fAttrNames.size()) {
    const char* name = fAttrNames.data() + fAttrCursor;
    size_t rest = fAttrNames.size() - fAttrCursor;
    size_t length = strnlen(name, rest);
    fAttrCursor += std::min(length + 1, rest);
    if (length > 0 && length < B_ATTR_NAME_LENGTH) {
      memcpy(buffer, name, length);
      buffer[length] = '\0';
      return B_OK;
    }
  }
  return B_ENTRY_NOT_FOUND;
}

status_t BNode::RewindAttrs() {
  if (fStatus != B_OK) {
    return B_NO_INIT;
  }
  fAttrNames.clear();
  fAttrCursor = 0;
  fAttrNamesListed = false;
  return B_OK;
}

ssize_t BNode::GetRawAttr(const char* name, void* buffer, size_t size) const {
  return fDescriptor >= 0 ? fgetxattr(fDescriptor, name, buffer, size)
                          : getxattr(fPath.c_str(), name, buffer, size);
}

status_t BNode::ReadWholeAttr(const char* name, std::vector<char>* value) const {
  for (;;) {
    ssize_t size = GetRawAttr(name, nullptr, 0);
    if (size < 0) {
      return status_from_errno(errno);
    }
    value->resize(static_cast<size_t>(size));
    if (size == 0) {
      return B_OK;
    }
    ssize_t got = GetRawAttr(name, value->data(), value->size());
    if (got >= 0) {
      value->resize(static_cast<size_t>(got));
      return B_OK;
    }
    if (errno != ERANGE) {
      return status_from_errno(errno);
    }
  }
}

status_t BNode::GetAttrInfo(const char* name, attr_info* info) const {
  if (fStatus != B_OK) {
    return B_NO_INIT;
  }
  if (name == nullptr || info == nullptr) {
    return B_BAD_VALUE;
  }
  ssize_t size = GetRawAttr(name, nullptr, 0);
  if (size < 0) {
    return status_from_errno(errno);
  }
  info->type = B_RAW_TYPE;
  info->size = size;
  return B_OK;
}

ssize_t BNode::ReadAttr(const char* name, type_code /*type*/, off_t offset, void* buffer,
                        size_t length) const {
  if (fStatus != B_OK) {
    return B_NO_INIT;
  }
  if (name == nullptr || offset < 0 || (buffer == nullptr && length > 0)) {
    return B_BAD_VALUE;
  }
  std::vector<char> value;
  if (status_t status = ReadWholeAttr(name, &value); status != B_OK) {
    return status;
  }
  if (static_cast<uint64>(offset) >= value.size()) {
    return 0;
  }
  size_t start = static_cast<size_t>(offset);
  size_t count = std::min(length, value.size() - start);
  if (count > 0) {
    memcpy(buffer, value.data() + start, count);
  }
  return static_cast<ssize_t>(count);
}

ssize_t BNode::WriteAttr(const char* name, type_code /*type*/, off_t offset, const void* buffer,
                         size_t length) {
  if (fStatus != B_OK) {
    return B_NO_INIT;
  }
  if (name == nullptr || offset != 0 || (buffer == nullptr && length > 0) ||
      length > static_cast<size_t>(std::numeric_limits<ssize_t>::max())) {
    return B_BAD_VALUE;
  }
  int result = fDescriptor >= 0 ? fsetxattr(fDescriptor, name, buffer, length, 0)
                                : setxattr(fPath.c_str(), name, buffer, length, 0);
  if (result != 0) {
    return status_from_errno(errno);
  }
  return static_cast<ssize_t>(length);
}
