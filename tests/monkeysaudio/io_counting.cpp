#include "tests/monkeysaudio/io_counting.h"

#include <sys/types.h>

// Large-file builds call pread64 and the like, which are not wrapped: nothing would be counted.
#if defined(_FILE_OFFSET_BITS) && _FILE_OFFSET_BITS == 64
#error "the wrapped calls are the ones without the large-file suffix"
#endif

TIoCounters& io_counters() {
  static TIoCounters counters;
  return counters;
}

namespace {

void log_call(char kind, int fd) {
  if (io_counters().calls != nullptr) {
    io_counters().calls->emplace_back(kind, fd);
  }
}

ssize_t count_read(ssize_t got) {
  if (got >= 0) {
    ++io_counters().read_calls;
    io_counters().bytes_read += static_cast<uint64_t>(got);
  }
  return got;
}

ssize_t count_write(ssize_t put) {
  if (put >= 0) {
    ++io_counters().write_calls;
    io_counters().bytes_written += static_cast<uint64_t>(put);
  }
  return put;
}

}  // namespace

// The linker sends every call of the wrapped functions here (-Wl,--wrap), __real_ being libc's.
extern "C" {
ssize_t __real_pread(int fd, void* buffer, size_t size, off_t offset);
ssize_t __real_pwrite(int fd, const void* buffer, size_t size, off_t offset);
int __real_ftruncate(int fd, off_t size);
int __real_fdatasync(int fd);
int __real_fsync(int fd);

ssize_t __wrap_pread(int fd, void* buffer, size_t size, off_t offset) {
  return count_read(__real_pread(fd, buffer, size, offset));
}
ssize_t __wrap_pwrite(int fd, const void* buffer, size_t size, off_t offset) {
  log_call('w', fd);
  return count_write(__real_pwrite(fd, buffer, size, offset));
}
int __wrap_ftruncate(int fd, off_t size) {
  log_call('t', fd);
  return __real_ftruncate(fd, size);
}
int __wrap_fdatasync(int fd) {
  log_call('d', fd);
  return __real_fdatasync(fd);
}
int __wrap_fsync(int fd) {
  log_call('s', fd);
  return __real_fsync(fd);
}
}
