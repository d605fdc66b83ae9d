// BNode: a file-system node and its attributes, over stat and Linux extended attributes.
//
// Attributes are extended attributes under their full Linux names ("user.comment",
// "security.selinux", ...): every name the kernel lists for the node, whatever its namespace,
// and a write succeeds wherever the caller's rights allow it. Values are bytes, read and
// written unchanged. Linux keeps no type code beside a value: GetAttrInfo reports B_RAW_TYPE
// for every attribute, and the type given to ReadAttr and WriteAttr is accepted and not kept.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/support/errors.h"
#include "platform/support/support_defs.h"

typedef uint32 type_code;

// 'RAWT': untyped bytes, the only type an extended attribute can have.
constexpr type_code B_RAW_TYPE = 0x52415754;

// Room for an attribute name and its terminating NUL (Linux names have at most 255 bytes).
constexpr size_t B_ATTR_NAME_LENGTH = 256;

struct attr_info {
  uint32 type;
  off_t size;
};

class BNode {
 public:
  BNode() = default;
  // The node the path leads to, symbolic links followed; it must exist.
  explicit BNode(const char* path);
  virtual ~BNode();
  BNode(const BNode&) = delete;
  BNode& operator=(const BNode&) = delete;

  // Returns B_ENTRY_NOT_FOUND when nothing is at `path`, B_BAD_VALUE for a null or empty
  // path, another negative status when the path cannot be examined; the node is then unset.
  status_t SetTo(const char* path);
  virtual void Unset();
  status_t InitCheck() const { return fStatus; }

  status_t GetStat(struct stat* st) const;
  // False for an unset node and for anything that is not a folder.
  bool IsDirectory() const;

  // Copies the next attribute name with its NUL into `buffer` (B_ATTR_NAME_LENGTH bytes).
  // The names are listed once, at the first call after SetTo or RewindAttrs; returns
  // B_ENTRY_NOT_FOUND after the last one, and leaves `buffer` unchanged on any failure.
  status_t GetNextAttrName(char* buffer);
  status_t RewindAttrs();

  // B_ENTRY_NOT_FOUND when the node has no attribute of that name.
  status_t GetAttrInfo(const char* name, attr_info* info) const;
  // Copies at most `length` bytes of the value, from `offset` on, into `buffer`; returns the
  // number copied (0 at or past the end of the value) or a negative status.
  ssize_t ReadAttr(const char* name, type_code type, off_t offset, void* buffer,
                   size_t length) const;
  // The value becomes exactly the `length` bytes given, replacing any value of that name.
  // Linux replaces a value only as a whole, so `offset` must be 0 (B_BAD_VALUE otherwise).
  // Returns `length` or a negative status; a value larger than the file system allows is
  // refused and changes nothing.
  ssize_t WriteAttr(const char* name, type_code type, off_t offset, const void* buffer,
                    size_t length);

 protected:
  // For BFile: the node is the open descriptor `fd`, which the caller keeps and closes.
  void SetToDescriptor(int fd, const char* path);
  void SetStatus(status_t status) { fStatus = status; }

 private:
  // Sets the path of an unset node; returns the status the node should take.
  status_t Examine(const char* path);
  ssize_t GetRawAttr(const char* name, void* buffer, size_t size) const;
  status_t ReadWholeAttr(const char* name, std::vector<char>* value) const;

  std::string fPath;
  int fDescriptor = -1;
  status_t fStatus = B_NO_INIT;
  std::vector<char> fAttrNames;
  size_t fAttrCursor = 0;
  bool fAttrNamesListed = false;
};
