#include "platform/monkeysaudio/file/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Repeats a call that a signal interrupted; 0, or the errno of its failure.
template <typename TCall>
int retry_on_interrupt(TCall call) {
  while (call() != 0) {
    if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// Moves `size` bytes through `call(done)`, which transfers from `done` on and returns what it
// moved or -1; repeats short and interrupted transfers. 0, the errno, or EIO at the file's end.
template <typename TCall>
int transfer_all(uint64_t size, TCall call) {
  for (uint64_t done = 0; done < size;) {
    const ssize_t moved = call(done);
    if (moved < 0 && errno != EINTR) {
      return errno;
    }
    if (moved == 0) {
      return EIO;
    }
    done += moved > 0 ? static_cast<uint64_t>(moved) : 0;
  }
  return 0;
}

}  // namespace

TFileDescriptor& TFileDescriptor::operator=(TFileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fFd >= 0) {
      close(fFd);
    }
    fFd = other.fFd;
    other.fFd = -1;
  }
  return *this;
}

TFileDescriptor::~TFileDescriptor() {
  if (fFd >= 0) {
    close(fFd);
  }
}

int TFileDescriptor::OpenRegular(const char* path, int flags) {
  // Opened without blocking, so that a FIFO or a device cannot hold the open until a peer
  // appears; the type is decided on the open descriptor, then blocking I/O is restored.
  int fd;
  do {
    fd = open(path, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return errno == ENXIO ? EINVAL : errno;
  }
  TFileDescriptor opened(fd);
  struct stat info;
  if (fstat(fd, &info) != 0) {
    return errno;
  }
  if (!S_ISREG(info.st_mode)) {
    return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    return errno;
  }
  *this = std::move(opened);
  return 0;
}

int TFileDescriptor::Size(uint64_t* size) const {
  struct stat info;
  if (fstat(fFd, &info) != 0) {
    return errno;
  }
  *size = static_cast<uint64_t>(info.st_size);
  return 0;
}

int TFileDescriptor::Identity(dev_t* device, ino_t* inode) const {
  struct stat info;
  if (fstat(fFd, &info) != 0) {
    return errno;
  }
  *device = info.st_dev;
  *inode = info.st_ino;
  return 0;
}

int TFileDescriptor::ReadAt(uint64_t offset, uint64_t size, TBytes* out) const {
  out->resize(size);
  return ReadInto(offset, *out);
}

int TFileDescriptor::ReadInto(uint64_t offset, std::span<uint8_t> out) const {
  return transfer_all(out.size(), [&](uint64_t done) {
    return pread(fFd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
  });
}

TFileReader TFileDescriptor::Reader() const {
  return {[this](uint64_t offset, uint64_t size, TBytes* out) {
    return ReadAt(offset, size, out) == 0;
  }};
}

int TFileDescriptor::WriteAt(uint64_t offset, TByteSpan bytes) const {
  return transfer_all(bytes.size(), [&](uint64_t done) {
    return pwrite(fFd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
  });
}

int TFileDescriptor::Truncate(uint64_t size) const {
  while (ftruncate(fFd, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

int TFileDescriptor::SyncData() const {
  return retry_on_interrupt([this] { return fdatasync(fFd); });
}

int TFileDescriptor::Sync() const {
  return retry_on_interrupt([this] { return fsync(fFd); });
}

int TFileDescriptor::LockExclusive() const {
  return Lock(LOCK_EX);
}

int TFileDescriptor::LockShared() const {
  return Lock(LOCK_SH);
}

int TFileDescriptor::Lock(int operation) const {
  while (flock(fFd, operation) != 0) {
    if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}
