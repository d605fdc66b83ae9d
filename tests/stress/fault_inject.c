// Fault injection and recording for the save path, loaded with LD_PRELOAD into a process under
// test.
//
// Counts every file-changing call (write, pwrite, ftruncate, fallocate, fsync, fdatasync and
// their 64-bit names) made on the one file named by QUILLET_FAULT_FILE, identified by device and
// inode, so that writes to standard output or to other files are neither counted nor disturbed.
//
//   QUILLET_FAULT_AT=n      the n-th counted call fails without doing anything, with errno
//                           QUILLET_FAULT_ERRNO (a number; ENOSPC when unset)
//   QUILLET_KILL_AFTER=n    the process kills itself with SIGKILL right after the n-th counted
//                           call has been carried out
//   QUILLET_CUT_AT=n        the n-th counted call, a write, writes only its first
//   QUILLET_CUT_BYTES=k     k bytes, and the process kills itself: a kill inside a write
//   QUILLET_FAULT_COUNT=p   at exit, the number of counted calls is written to the file p
//   QUILLET_RECORD=p        each counted call that succeeds is appended to the file p, one line
//                           each ("write OFFSET LENGTH" followed by the bytes written,
//                           "truncate LENGTH", "fallocate MODE OFFSET LENGTH", "sync")
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static struct stat target;
static int target_known, fault_errno;
static long fault_at, kill_after, cut_at, cut_bytes, counted;
static FILE* record;

static long env_number(const char* name) {
  const char* text = getenv(name);
  return text != NULL ? strtol(text, NULL, 10) : 0;
}

__attribute__((constructor)) static void fault_setup(void) {
  const char* file = getenv("QUILLET_FAULT_FILE");
  target_known = file != NULL && stat(file, &target) == 0;
  fault_at = env_number("QUILLET_FAULT_AT");
  kill_after = env_number("QUILLET_KILL_AFTER");
  cut_at = env_number("QUILLET_CUT_AT");
  cut_bytes = env_number("QUILLET_CUT_BYTES");
  fault_errno =
      env_number("QUILLET_FAULT_ERRNO") > 0 ? (int)env_number("QUILLET_FAULT_ERRNO") : ENOSPC;
  const char* record_path = getenv("QUILLET_RECORD");
  record = record_path != NULL ? fopen(record_path, "we") : NULL;
}

__attribute__((destructor)) static void fault_report(void) {
  const char* path = getenv("QUILLET_FAULT_COUNT");
  FILE* out = path != NULL ? fopen(path, "w") : NULL;
  if (out != NULL) {
    fprintf(out, "%ld\n", counted);
    fclose(out);
  }
  if (record != NULL) {
    fclose(record);
  }
}

static int is_target(int fd) {
  struct stat status;
  return target_known && fstat(fd, &status) == 0 && status.st_dev == target.st_dev &&
         status.st_ino == target.st_ino;
}

// Records are flushed at once: a killed process leaves every call it made on record.
static void record_write(off_t offset, const void* buffer, ssize_t written) {
  if (record != NULL && written > 0) {
    fprintf(record, "write %lld %zd\n", (long long)offset, written);
    fwrite(buffer, 1, (size_t)written, record);
    fflush(record);
  }
}

static void record_line(const char* format, long long a, long long b, long long c) {
  if (record != NULL) {
    fprintf(record, format, a, b, c);
    fflush(record);
  }
}

// Before the call: 1 when it is counted, -1 when it must fail instead.
static int enter(int fd) {
  if (!is_target(fd)) {
    return 0;
  }
  if (++counted == fault_at) {
    errno = fault_errno;
    return -1;
  }
  return 1;
}

static void leave(int counts) {
  if (counts && counted == kill_after) {
    raise(SIGKILL);
  }
}

#define REAL(result_type, name, params)                                                \
  static result_type(*real) params;                                                    \
  if (real == NULL && (real = (result_type(*) params)dlsym(RTLD_NEXT, #name)) == NULL) \
    abort();

static ssize_t counted_write(ssize_t (*real)(int, const void*, size_t, off_t), int positional,
                             int fd, const void* buffer, size_t count, off_t offset) {
  const int counts = enter(fd);
  if (counts < 0) {
    return -1;
  }
  if (counts && !positional) {
    offset = lseek(fd, 0, SEEK_CUR);
  }
  if (counts && counted == cut_at && cut_bytes >= 0 && (size_t)cut_bytes < count) {
    count = (size_t)cut_bytes;
    kill_after = counted;
  }
  const ssize_t written = real(fd, buffer, count, offset);
  if (counts) {
    record_write(offset, buffer, written);
  }
  leave(counts);
  return written;
}

static ssize_t plain_write(int fd, const void* buffer, size_t count, off_t offset) {
  (void)offset;
  REAL(ssize_t, write, (int, const void*, size_t))
  return real(fd, buffer, count);
}
static ssize_t positional_write(int fd, const void* buffer, size_t count, off_t offset) {
  REAL(ssize_t, pwrite, (int, const void*, size_t, off_t))
  return real(fd, buffer, count, offset);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  return counted_write(plain_write, 0, fd, buffer, count, 0);
}
ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  return counted_write(positional_write, 1, fd, buffer, count, offset);
}
ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t offset) {
  return counted_write(positional_write, 1, fd, buffer, count, offset);
}

#define COUNTED_TRUNCATE(name)                                 \
  int name(int fd, off_t length) {                             \
    REAL(int, name, (int, off_t))                              \
    const int counts = enter(fd);                              \
    if (counts < 0)                                            \
      return -1;                                               \
    const int result = real(fd, length);                       \
    if (counts && result == 0)                                 \
      record_line("truncate %lld\n", (long long)length, 0, 0); \
    leave(counts);                                             \
    return result;                                             \
  }
COUNTED_TRUNCATE(ftruncate)
COUNTED_TRUNCATE(ftruncate64)

#define COUNTED_FALLOCATE(name)                                                              \
  int name(int fd, int mode, off_t offset, off_t length) {                                   \
    REAL(int, name, (int, int, off_t, off_t))                                                \
    const int counts = enter(fd);                                                            \
    if (counts < 0)                                                                          \
      return -1;                                                                             \
    const int result = real(fd, mode, offset, length);                                       \
    if (counts && result == 0)                                                               \
      record_line("fallocate %lld %lld %lld\n", mode, (long long)offset, (long long)length); \
    leave(counts);                                                                           \
    return result;                                                                           \
  }
COUNTED_FALLOCATE(fallocate)
COUNTED_FALLOCATE(fallocate64)

#define COUNTED_SYNC(name)            \
  int name(int fd) {                  \
    REAL(int, name, (int))            \
    const int counts = enter(fd);     \
    if (counts < 0)                   \
      return -1;                      \
    const int result = real(fd);      \
    if (counts && result == 0)        \
      record_line("sync\n", 0, 0, 0); \
    leave(counts);                    \
    return result;                    \
  }
COUNTED_SYNC(fsync)
COUNTED_SYNC(fdatasync)
