// Fault injection and recording for the save path, loaded with LD_PRELOAD into a process under
// test.
//
// Watches three things: the file named by QUILLET_FAULT_FILE (identified by device and inode),
// its journal `.<name>.quillet-journal` in the same folder (identified by that name when it is
// opened, created or unlinked), and that folder (its syncs). Writes to standard output or to any
// other file are neither counted nor disturbed. The counted calls, numbered from 1 in the order
// they are made:
//   on the file and the journal: write, pwrite, pwritev, writev, copy_file_range (as a write of
//   the bytes it copied), ftruncate, fallocate, fsync, fdatasync (and their 64-bit names);
//   the journal's creation (an open with O_CREAT of a name that did not exist) and its unlink;
//   fsync and fdatasync of the folder.
//
//   QUILLET_FAULT_AT=n      the n-th counted call fails without doing anything, with errno
//                           QUILLET_FAULT_ERRNO (a number; ENOSPC when unset)
//   QUILLET_KILL_AFTER=n    the process kills itself with SIGKILL right after the n-th counted
//                           call has been carried out
//   QUILLET_CUT_AT=n        the n-th counted call, a write, writes only its first
//   QUILLET_CUT_BYTES=k     k bytes, and the process kills itself: a kill inside a write
//   QUILLET_FAULT_COUNT=p   at exit, the number of counted calls is written to the file p
//   QUILLET_RECORD=p        each counted call that succeeds is appended to the file p, one line
//                           each naming what it acted on (a: the file, j: the journal, d: the
//                           folder): "write a|j OFFSET LENGTH" followed by the bytes written,
//                           "truncate a|j LENGTH", "fallocate a|j MODE OFFSET LENGTH",
//                           "sync a|j|d", "create j", "unlink j"
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

static struct stat target, folder, journal;
static int target_known, folder_known, journal_known, fault_errno;
static char journal_name[NAME_MAX + 1];
static long fault_at, kill_after, cut_at, cut_bytes, counted;
static FILE* record;

static long env_number(const char* name) {
  const char* text = getenv(name);
  return text != NULL ? strtol(text, NULL, 10) : 0;
}

__attribute__((constructor)) static void fault_setup(void) {
  const char* file = getenv("QUILLET_FAULT_FILE");
  target_known = file != NULL && stat(file, &target) == 0;
  if (target_known && strlen(file) < PATH_MAX) {
    char folder_path[PATH_MAX], base_path[PATH_MAX];
    strcpy(folder_path, file);
    strcpy(base_path, file);
    folder_known = stat(dirname(folder_path), &folder) == 0;
    snprintf(journal_name, sizeof journal_name, ".%s.quillet-journal", basename(base_path));
  }
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

static int same_node(const struct stat* a, const struct stat* b) {
  return a->st_dev == b->st_dev && a->st_ino == b->st_ino;
}

// What `fd` is: 'a' the file, 'j' the journal, 'd' the folder, 0 anything else.
static char kind_of(int fd) {
  struct stat status;
  if (!target_known || fstat(fd, &status) != 0) {
    return 0;
  }
  if (same_node(&status, &target)) {
    return 'a';
  }
  if (journal_known && same_node(&status, &journal)) {
    return 'j';
  }
  if (folder_known && S_ISDIR(status.st_mode) && same_node(&status, &folder)) {
    return 'd';
  }
  return 0;
}

// True when `path`, relative to `dirfd`, names the journal: its last part is the journal's name
// and the folder holding it is the file's folder.
static int names_journal(int dirfd, const char* path) {
  if (!target_known || !folder_known) {
    return 0;
  }
  const char* slash = strrchr(path, '/');
  const char* name = slash != NULL ? slash + 1 : path;
  if (strcmp(name, journal_name) != 0) {
    return 0;
  }
  struct stat status;
  if (slash == NULL) {
    if (dirfd == AT_FDCWD ? stat(".", &status) != 0 : fstat(dirfd, &status) != 0) {
      return 0;
    }
  } else {
    char holder[PATH_MAX];
    const size_t length = slash == path ? 1 : (size_t)(slash - path);
    if (length >= sizeof holder) {
      return 0;
    }
    memcpy(holder, path, length);
    holder[length] = '\0';
    if (fstatat(dirfd, holder, &status, 0) != 0) {
      return 0;
    }
  }
  return same_node(&status, &folder);
}

// Records are flushed at once: a killed process leaves every call it made on record.
static void record_write(char kind, off_t offset, const void* buffer, ssize_t written) {
  if (record != NULL && written > 0) {
    fprintf(record, "write %c %lld %zd\n", kind, (long long)offset, written);
    fwrite(buffer, 1, (size_t)written, record);
    fflush(record);
  }
}

static void record_line(const char* format, char kind, long long a, long long b, long long c) {
  if (record != NULL) {
    fprintf(record, format, kind, a, b, c);
    fflush(record);
  }
}

// Before a counted call: 1 when it is to be carried out, -1 when it must fail instead.
static int enter(void) {
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

// Where a write without an offset of its own lands.
static off_t current_offset(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  struct stat status;
  if (flags >= 0 && (flags & O_APPEND) && fstat(fd, &status) == 0) {
    return status.st_size;
  }
  return lseek(fd, 0, SEEK_CUR);
}

// The length a counted write of `count` bytes is cut to (a kill inside it), or `count`.
static size_t cut_length(size_t count) {
  if (counted == cut_at && cut_bytes >= 0 && (size_t)cut_bytes < count) {
    kill_after = counted;
    return (size_t)cut_bytes;
  }
  return count;
}

static ssize_t counted_write(ssize_t (*real)(int, const void*, size_t, off_t), int positional,
                             int fd, const void* buffer, size_t count, off_t offset) {
  const char kind = kind_of(fd);
  if (kind != 'a' && kind != 'j') {
    return real(fd, buffer, count, offset);
  }
  if (enter() < 0) {
    return -1;
  }
  if (!positional) {
    offset = current_offset(fd);
  }
  count = cut_length(count);
  const ssize_t written = real(fd, buffer, count, offset);
  record_write(kind, offset, buffer, written);
  leave(1);
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

// A gathered write on a watched file is made as one write of the gathered bytes, so that it is
// recorded, cut and failed as one call.
static ssize_t gathered_write(int fd, const struct iovec* parts, int count, off_t offset,
                              int positional) {
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    total += parts[i].iov_len;
  }
  char* joined = malloc(total > 0 ? total : 1);
  if (joined == NULL) {
    errno = ENOMEM;
    return -1;
  }
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    memcpy(joined + at, parts[i].iov_base, parts[i].iov_len);
    at += parts[i].iov_len;
  }
  const ssize_t written = positional ? pwrite(fd, joined, total, offset) : write(fd, joined, total);
  const int saved = errno;
  free(joined);
  errno = saved;
  return written;
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
  REAL(ssize_t, writev, (int, const struct iovec*, int))
  return kind_of(fd) == 0 ? real(fd, parts, count) : gathered_write(fd, parts, count, 0, 0);
}
ssize_t pwritev(int fd, const struct iovec* parts, int count, off_t offset) {
  REAL(ssize_t, pwritev, (int, const struct iovec*, int, off_t))
  return kind_of(fd) == 0 ? real(fd, parts, count, offset)
                          : gathered_write(fd, parts, count, offset, 1);
}
ssize_t pwritev64(int fd, const struct iovec* parts, int count, off_t offset) {
  return pwritev(fd, parts, count, offset);
}

// Recorded as a write of the bytes copied, read again from the source.
ssize_t copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset, size_t length,
                        unsigned int flags) {
  REAL(ssize_t, copy_file_range, (int, off_t*, int, off_t*, size_t, unsigned int))
  const char kind = kind_of(out);
  if (kind != 'a' && kind != 'j') {
    return real(in, in_offset, out, out_offset, length, flags);
  }
  if (enter() < 0) {
    return -1;
  }
  const off_t at = out_offset != NULL ? *out_offset : current_offset(out);
  const off_t from = in_offset != NULL ? *in_offset : lseek(in, 0, SEEK_CUR);
  length = cut_length(length);
  const ssize_t copied = real(in, in_offset, out, out_offset, length, flags);
  if (copied > 0 && record != NULL) {
    char* arrived = malloc((size_t)copied);
    if (arrived == NULL || pread(in, arrived, (size_t)copied, from) != copied) {
      abort();
    }
    record_write(kind, at, arrived, copied);
    free(arrived);
  }
  leave(1);
  return copied;
}

#define COUNTED_TRUNCATE(name)                                          \
  int name(int fd, off_t length) {                                      \
    REAL(int, name, (int, off_t))                                       \
    const char kind = kind_of(fd);                                      \
    if (kind != 'a' && kind != 'j')                                     \
      return real(fd, length);                                          \
    if (enter() < 0)                                                    \
      return -1;                                                        \
    const int result = real(fd, length);                                \
    if (result == 0)                                                    \
      record_line("truncate %c %lld\n", kind, (long long)length, 0, 0); \
    leave(1);                                                           \
    return result;                                                      \
  }
COUNTED_TRUNCATE(ftruncate)
COUNTED_TRUNCATE(ftruncate64)

#define COUNTED_FALLOCATE(name)                                                   \
  int name(int fd, int mode, off_t offset, off_t length) {                        \
    REAL(int, name, (int, int, off_t, off_t))                                     \
    const char kind = kind_of(fd);                                                \
    if (kind != 'a' && kind != 'j')                                               \
      return real(fd, mode, offset, length);                                      \
    if (enter() < 0)                                                              \
      return -1;                                                                  \
    const int result = real(fd, mode, offset, length);                            \
    if (result == 0)                                                              \
      record_line("fallocate %c %lld %lld %lld\n", kind, mode, (long long)offset, \
                  (long long)length);                                             \
    leave(1);                                                                     \
    return result;                                                                \
  }
COUNTED_FALLOCATE(fallocate)
COUNTED_FALLOCATE(fallocate64)

#define COUNTED_SYNC(name)                     \
  int name(int fd) {                           \
    REAL(int, name, (int))                     \
    const char kind = kind_of(fd);             \
    if (kind == 0)                             \
      return real(fd);                         \
    if (enter() < 0)                           \
      return -1;                               \
    const int result = real(fd);               \
    if (result == 0)                           \
      record_line("sync %c\n", kind, 0, 0, 0); \
    leave(1);                                  \
    return result;                             \
  }
COUNTED_SYNC(fsync)
COUNTED_SYNC(fdatasync)

// Opens of the journal's name: a creation is counted; any open learns the journal's inode.
static int watched_open(int (*real)(int, const char*, int, mode_t), int dirfd, const char* path,
                        int flags, mode_t mode) {
  if (!names_journal(dirfd, path)) {
    return real(dirfd, path, flags, mode);
  }
  struct stat before;
  const int creates = (flags & O_CREAT) && fstatat(dirfd, path, &before, 0) != 0;
  if (creates && enter() < 0) {
    return -1;
  }
  const int fd = real(dirfd, path, flags, mode);
  if (fd >= 0) {
    journal_known = fstat(fd, &journal) == 0;
  }
  if (creates) {
    if (fd >= 0) {
      record_line("create %c\n", 'j', 0, 0, 0);
    }
    leave(1);
  }
  return fd;
}

static int real_openat(int dirfd, const char* path, int flags, mode_t mode) {
  REAL(int, openat, (int, const char*, int, ...))
  return real(dirfd, path, flags, mode);
}

#define OPEN_MODE(flags, mode)             \
  mode_t mode = 0;                         \
  if ((flags) & (O_CREAT | __O_TMPFILE)) { \
    va_list arguments;                     \
    va_start(arguments, flags);            \
    mode = (mode_t)va_arg(arguments, int); \
    va_end(arguments);                     \
  }

int open(const char* path, int flags, ...) {
  OPEN_MODE(flags, mode)
  return watched_open(real_openat, AT_FDCWD, path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  OPEN_MODE(flags, mode)
  return watched_open(real_openat, AT_FDCWD, path, flags, mode);
}
int openat(int dirfd, const char* path, int flags, ...) {
  OPEN_MODE(flags, mode)
  return watched_open(real_openat, dirfd, path, flags, mode);
}
int openat64(int dirfd, const char* path, int flags, ...) {
  OPEN_MODE(flags, mode)
  return watched_open(real_openat, dirfd, path, flags, mode);
}

static int watched_unlink(int dirfd, const char* path, int flags) {
  REAL(int, unlinkat, (int, const char*, int))
  if (!names_journal(dirfd, path)) {
    return real(dirfd, path, flags);
  }
  if (enter() < 0) {
    return -1;
  }
  const int result = real(dirfd, path, flags);
  if (result == 0) {
    record_line("unlink %c\n", 'j', 0, 0, 0);
  }
  leave(1);
  return result;
}

int unlink(const char* path) {
  return watched_unlink(AT_FDCWD, path, 0);
}
int unlinkat(int dirfd, const char* path, int flags) {
  return watched_unlink(dirfd, path, flags);
}
