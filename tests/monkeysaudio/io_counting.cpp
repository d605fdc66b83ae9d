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

void log_call(char kind) {
  if (io_counters().calls != nullptr) {
    io_counters().calls->push_back(kind);
  }
}

ssize_t counted(ssize_t done, uint64_t& calls, uint64_t& bytes) {
  if (done >= 0) {
    ++calls;
    bytes += static_cast<uint64_t>(done);
  }
  return done;
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
  TIoCounters& c = io_counters();
  return counted(__real_pread(fd, buffer, size, offset), c.read_calls, c.bytes_read);
}
ssize_t __wrap_pwrite(int fd, const void* buffer, size_t size, off_t offset) {
  log_call('w');
  TIoCounters& c = io_counters();
  return counted(__real_pwrite(fd, buffer, size, offset), c.write_calls, c.bytes_written);
}
int __wrap_ftruncate(int fd, off_t size) {
  log_call('t');
  return __real_ftruncate(fd, size);
}
int __wrap_fdatasync(int fd) {
  log_call('d');
  return __real_fdatasync(fd);
}
int __wrap_fsync(int fd) {
  log_call('s');
  return __real_fsync(fd);
}
}
