// Fault injection for the save path, loaded with LD_PRELOAD into a process under test.
//
// Counts every file-changing call (write, pwrite, ftruncate, fsync, fdatasync and their 64-bit
// names) made on the one file named by QUILLET_FAULT_FILE, identified by device and inode, so
// that writes to standard output or to other files are neither counted nor disturbed.
//
//   QUILLET_FAULT_AT=n      the n-th counted call fails without doing anything, with errno
//                           QUILLET_FAULT_ERRNO (a number; ENOSPC when unset)
//   QUILLET_KILL_AFTER=n    the process kills itself with SIGKILL right after the n-th counted
//                           call has been carried out
//   QUILLET_FAULT_COUNT=p   at exit, the number of counted calls is written to the file p
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static dev_t target_device;
static ino_t target_inode;
static int target_known;
static long fault_at;
static long kill_after;
static int fault_errno = ENOSPC;
static long counted;

static long env_number(const char* name) {
  const char* text = getenv(name);
  return text != NULL ? strtol(text, NULL, 10) : 0;
}

__attribute__((constructor)) static void fault_setup(void) {
  const char* file = getenv("QUILLET_FAULT_FILE");
  struct stat status;
  if (file != NULL && stat(file, &status) == 0) {
    target_device = status.st_dev;
    target_inode = status.st_ino;
    target_known = 1;
  }
  fault_at = env_number("QUILLET_FAULT_AT");
  kill_after = env_number("QUILLET_KILL_AFTER");
  if (env_number("QUILLET_FAULT_ERRNO") > 0) {
    fault_errno = (int)env_number("QUILLET_FAULT_ERRNO");
  }
}

__attribute__((destructor)) static void fault_report(void) {
  const char* path = getenv("QUILLET_FAULT_COUNT");
  if (path == NULL) {
    return;
  }
  FILE* out = fopen(path, "w");
  if (out != NULL) {
    fprintf(out, "%ld\n", counted);
    fclose(out);
  }
}

static int is_target(int fd) {
  struct stat status;
  return target_known && fstat(fd, &status) == 0 && status.st_dev == target_device &&
         status.st_ino == target_inode;
}

static void* next_symbol(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == NULL) {
    abort();
  }
  return symbol;
}

// Called before a counted call: returns 1 when this call must fail.
static int before_call(int fd) {
  if (!is_target(fd)) {
    return 0;
  }
  ++counted;
  if (fault_at > 0 && counted == fault_at) {
    errno = fault_errno;
    return 1;
  }
  return 0;
}

static void after_call(int fd) {
  if (kill_after > 0 && counted == kill_after && is_target(fd)) {
    raise(SIGKILL);
  }
}

#define COUNTED(result_type, name, params, args, fd)    \
  result_type name params {                             \
    static result_type(*real) params;                   \
    if (real == NULL) {                                 \
      real = (result_type(*) params)next_symbol(#name); \
    }                                                   \
    if (before_call(fd)) {                              \
      return -1;                                        \
    }                                                   \
    result_type result = real args;                     \
    after_call(fd);                                     \
    return result;                                      \
  }

COUNTED(ssize_t, write, (int fd, const void* buffer, size_t count), (fd, buffer, count), fd)
COUNTED(ssize_t, pwrite, (int fd, const void* buffer, size_t count, off_t offset),
        (fd, buffer, count, offset), fd)
COUNTED(ssize_t, pwrite64, (int fd, const void* buffer, size_t count, off_t offset),
        (fd, buffer, count, offset), fd)
COUNTED(int, ftruncate, (int fd, off_t length), (fd, length), fd)
COUNTED(int, ftruncate64, (int fd, off_t length), (fd, length), fd)
COUNTED(int, fsync, (int fd), (fd), fd)
COUNTED(int, fdatasync, (int fd), (fd), fd)
