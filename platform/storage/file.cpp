#include "platform/storage/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <memory>

namespace {

constexpr uint32 kOpenModeBits = O_ACCMODE | O_CREAT | O_TRUNC | O_EXCL;

// Large enough that the kernel does the whole of a big file in a few calls, small enough that
// an interrupted call loses little.
constexpr size_t kKernelCopyChunk = size_t{1} << 30;
constexpr size_t kBufferSize = size_t{1} << 20;

// Errors after which copy_file_range cannot serve this pair of files but reads and writes can.
bool kernel_copy_unsupported(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
         error == EBADF || error == EPERM || error == ETXTBSY;
}

}  // namespace

BFile::BFile(const char* path, uint32 openMode, mode_t permissions) {
  SetStatus(Open(path, openMode, permissions));
}

BFile::~BFile() {
  CloseDescriptor();
}

status_t BFile::SetTo(const char* path, uint32 openMode, mode_t permissions) {
  Unset();
  status_t status = Open(path, openMode, permissions);
  SetStatus(status);
  return status;
}

status_t BFile::Open(const char* path, uint32 openMode, mode_t permissions) {
  if (path == nullptr || *path == '\0' || (openMode & ~kOpenModeBits) != 0 ||
      (openMode & O_ACCMODE) == O_ACCMODE) {
    return B_BAD_VALUE;
  }
  int fd;
  do {
    fd = open(path, static_cast<int>(openMode) | O_CLOEXEC | O_NOCTTY, permissions);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return status_from_errno(errno);
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return B_BAD_VALUE;
  }
  fFd = fd;
  SetToDescriptor(fd, path);
  return B_OK;
}

void BFile::Unset() {
  CloseDescriptor();
  BNode::Unset();
}

void BFile::CloseDescriptor() {
  if (fFd >= 0) {
    close(fFd);
    fFd = -1;
  }
}

namespace {

// B_OK when a positional transfer of `size` bytes at `offset` through `fd` may be attempted.
status_t check_transfer(int fd, off_t offset, const void* buffer, size_t size) {
  if (fd < 0) {
    return B_NO_INIT;
  }
  if (offset < 0 || (buffer == nullptr && size > 0) ||
      size > static_cast<size_t>(std::numeric_limits<ssize_t>::max())) {
    return B_BAD_VALUE;
  }
  return B_OK;
}

}  // namespace

ssize_t BFile::ReadAt(off_t offset, void* buffer, size_t size) const {
  if (status_t status = check_transfer(fFd, offset, buffer, size); status != B_OK) {
    return status;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t got = pread(fFd, static_cast<char*>(buffer) + done, size - done,
                        offset + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return status_from_errno(errno);
    }
    if (got == 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

ssize_t BFile::WriteAt(off_t offset, const void* buffer, size_t size) {
  if (status_t status = check_transfer(fFd, offset, buffer, size); status != B_OK) {
    return status;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t put = pwrite(fFd, static_cast<const char*>(buffer) + done, size - done,
                         offset + static_cast<off_t>(done));
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      return status_from_errno(errno);
    }
    done += static_cast<size_t>(put);
  }
  return static_cast<ssize_t>(done);
}

status_t BFile::GetSize(off_t* size) const {
  struct stat st;
  if (size == nullptr) {
    return B_BAD_VALUE;
  }
  if (status_t status = GetStat(&st); status != B_OK) {
    return status;
  }
  *size = st.st_size;
  return B_OK;
}

status_t BFile::SetSize(off_t size) {
  if (fFd < 0) {
    return B_NO_INIT;
  }
  if (size < 0) {
    return B_BAD_VALUE;
  }
  int result;
  do {
    result = ftruncate(fFd, size);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? B_OK : status_from_errno(errno);
}

status_t copy_file_data(const BFile& source, BFile& target, off_t* copied, DataCopyMethod method) {
  off_t position = 0;
  auto finish = [&](status_t status) {
    if (copied != nullptr) {
      *copied = position;
    }
    return status;
  };
  if (source.fFd < 0 || target.fFd < 0) {
    return finish(B_NO_INIT);
  }

  // Only a hint for the read-ahead of whichever path copies; its failure changes nothing.
  posix_fadvise(source.fFd, 0, 0, POSIX_FADV_SEQUENTIAL);
  bool kernelCopy = method == DataCopyMethod::kKernelFirst;
  while (kernelCopy) {
    off_t in = position;
    off_t out = position;
    ssize_t count = copy_file_range(source.fFd, &in, target.fFd, &out, kKernelCopyChunk, 0);
    if (count > 0) {
      position += count;
    } else if (count == 0) {
      // The end of the source; but some files (in /proc, for example) report nothing to the
      // kernel copy while a read still gives data, so an empty first answer is checked by reading.
      if (position > 0) {
        return finish(target.SetSize(position));
      }
      kernelCopy = false;
    } else if (errno == EINTR) {
      continue;
    } else if (kernel_copy_unsupported(errno)) {
      kernelCopy = false;
    } else {
      return finish(status_from_errno(errno));
    }
  }

  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    ssize_t got = source.ReadAt(position, buffer.get(), kBufferSize);
    if (got < 0) {
      return finish(static_cast<status_t>(got));
    }
    if (got == 0) {
      break;
    }
    ssize_t put = target.WriteAt(position, buffer.get(), static_cast<size_t>(got));
    if (put < 0) {
      return finish(static_cast<status_t>(put));
    }
    position += got;
  }
  return finish(target.SetSize(position));
}
