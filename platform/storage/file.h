// BFile: a regular file opened for reading and/or writing, over a plain file descriptor.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include "platform/storage/node.h"

// Open modes: one of the three access modes, optionally combined with the flags after them.
constexpr uint32 B_READ_ONLY = O_RDONLY;
constexpr uint32 B_WRITE_ONLY = O_WRONLY;
constexpr uint32 B_READ_WRITE = O_RDWR;
constexpr uint32 B_CREATE_FILE = O_CREAT;
constexpr uint32 B_ERASE_FILE = O_TRUNC;
constexpr uint32 B_FAIL_IF_EXISTS = O_EXCL;

enum class DataCopyMethod {
  // The kernel copies in place (copy_file_range); where it cannot, for example between two
  // file systems, the copy goes on with reads and writes from where it stopped.
  kKernelFirst,
  // Reads and writes through a buffer only.
  kReadWrite,
};
class BFile : public BNode {
 public:
  BFile() = default;
  // `permissions` are the bits a newly created file gets, less the process's umask.
  BFile(const char* path, uint32 openMode, mode_t permissions = 0666);
  ~BFile() override;

  // Opens the file the path leads to (symbolic links followed). A folder is refused with
  // B_BAD_VALUE, as is an open mode with bits beyond those above; on failure the file is unset.
  status_t SetTo(const char* path, uint32 openMode, mode_t permissions = 0666);
  void Unset() override;

  // Reads up to `size` bytes at `offset`, retrying after interruptions and short reads until
  // `size` bytes or the end of the file; returns the count read or a negative status.
  ssize_t ReadAt(off_t offset, void* buffer, size_t size) const;
  // Writes all `size` bytes at `offset`; returns `size` or a negative status.
  ssize_t WriteAt(off_t offset, const void* buffer, size_t size);
  status_t GetSize(off_t* size) const;
  status_t SetSize(off_t size);

 private:
  friend status_t copy_file_data(const BFile& source, BFile& target, off_t* copied,
                                 DataCopyMethod method);

  // Opens the file for an unset object; returns the status the file should take.
  status_t Open(const char* path, uint32 openMode, mode_t permissions);
  void CloseDescriptor();

  int fFd = -1;
};

// Copies the whole contents of `source` (from its start) over `target` (from its start), then
// sets the target's size to the number of bytes copied. Stores that number in `copied` (when
// not null) also on failure, and returns B_OK or the negative status of the failed call.
status_t copy_file_data(const BFile& source, BFile& target, off_t* copied = nullptr,
                        DataCopyMethod method = DataCopyMethod::kKernelFirst);
