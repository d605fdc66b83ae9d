// The file layer of the tag library: a file descriptor that closes itself, and whole reads and
// writes at an offset. Everything else in the library works on bytes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>

#include "platform/monkeysaudio/core/byte_order.h"

class TFileDescriptor {
 public:
  TFileDescriptor() = default;
  explicit TFileDescriptor(int fd) : fFd(fd) {}
  TFileDescriptor(TFileDescriptor&& other) noexcept : fFd(other.fFd) { other.fFd = -1; }
  TFileDescriptor& operator=(TFileDescriptor&& other) noexcept;
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  ~TFileDescriptor();

  // Opens a regular file (following links). Returns 0 or an errno value; a folder or other
  // non-regular file gives EISDIR or EINVAL, and leaves the object closed.
  int OpenRegular(const char* path, int flags);

  bool IsOpen() const { return fFd >= 0; }
  int Get() const { return fFd; }

  // Each returns 0 or an errno value.
  int Size(uint64_t* size) const;
  int Identity(dev_t* device, ino_t* inode) const;
  // Fills `out` (resized to `size`) from `offset`; EIO when the file ends first.
  int ReadAt(uint64_t offset, uint64_t size, TBytes* out) const;
  // Fills `out` whole from `offset`; EIO when the file ends first.
  int ReadInto(uint64_t offset, std::span<uint8_t> out) const;
  // ReadAt for the byte core's readers; valid while this object is.
  TFileReader Reader() const;
  int WriteAt(uint64_t offset, TByteSpan bytes) const;
  int Truncate(uint64_t size) const;
  int SyncData() const;
  // fsync: the data and every attribute, for a file whose name was just made.
  int Sync() const;
  // Waits for an exclusive advisory lock, held until the descriptor closes.
  int LockExclusive() const;
  // Waits for a shared advisory lock: no save runs while it is held, so the bytes read under it
  // are never half old, half new.
  int LockShared() const;

 private:
  int Lock(int operation) const;
  int fFd = -1;
};
