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
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static struct stat target;
static int target_known, fault_errno;
static long fault_at, kill_after, counted;

static long env_number(const char* name) {
  const char* text = getenv(name);
  return text != NULL ? strtol(text, NULL, 10) : 0;
}

__attribute__((constructor)) static void fault_setup(void) {
  const char* file = getenv("QUILLET_FAULT_FILE");
  target_known = file != NULL && stat(file, &target) == 0;
  fault_at = env_number("QUILLET_FAULT_AT");
  kill_after = env_number("QUILLET_KILL_AFTER");
  fault_errno =
      env_number("QUILLET_FAULT_ERRNO") > 0 ? (int)env_number("QUILLET_FAULT_ERRNO") : ENOSPC;
}

__attribute__((destructor)) static void fault_report(void) {
  const char* path = getenv("QUILLET_FAULT_COUNT");
  FILE* out = path != NULL ? fopen(path, "w") : NULL;
  if (out != NULL) {
    fprintf(out, "%ld\n", counted);
    fclose(out);
  }
}

static int is_target(int fd) {
  struct stat status;
  return target_known && fstat(fd, &status) == 0 && status.st_dev == target.st_dev &&
         status.st_ino == target.st_ino;
}

// Every wrapped call takes the file descriptor as `fd`.
#define COUNTED(result_type, name, params, args)                                         \
  result_type name params {                                                              \
    static result_type(*real) params;                                                    \
    if (real == NULL && (real = (result_type(*) params)dlsym(RTLD_NEXT, #name)) == NULL) \
      abort();                                                                           \
    const int counts = is_target(fd);                                                    \
    if (counts && ++counted == fault_at) {                                               \
      errno = fault_errno;                                                               \
      return -1;                                                                         \
    }                                                                                    \
    result_type result = real args;                                                      \
    if (counts && counted == kill_after)                                                 \
      raise(SIGKILL);                                                                    \
    return result;                                                                       \
  }

COUNTED(ssize_t, write, (int fd, const void* buffer, size_t count), (fd, buffer, count))
COUNTED(ssize_t, pwrite, (int fd, const void* buffer, size_t count, off_t offset),
        (fd, buffer, count, offset))
COUNTED(ssize_t, pwrite64, (int fd, const void* buffer, size_t count, off_t offset),
        (fd, buffer, count, offset))
COUNTED(int, ftruncate, (int fd, off_t length), (fd, length))
COUNTED(int, ftruncate64, (int fd, off_t length), (fd, length))
COUNTED(int, fsync, (int fd), (fd))
COUNTED(int, fdatasync, (int fd), (fd))
