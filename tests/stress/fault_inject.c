// Fault injection and recording for the save path, loaded with LD_PRELOAD into a process under
// test. Watches the file named by QUILLET_FAULT_FILE (by device and inode), its journal
// `.<name>.quillet-journal` beside it (by that name when opened, created or unlinked) and their
// folder. Counted calls, numbered from 1, the ones the library makes: pwrite, ftruncate, fsync
// and fdatasync on the file and the journal; the journal's creation (open) and unlink; syncs of
// the folder. Any other call that changes the file goes unrecorded, which the crash explorer sees:
// the recorded calls then no longer make the saved file, or no save goes through the journal.
//
//   QUILLET_FAULT_AT=n   the n-th counted call fails without doing anything, with errno
//                        QUILLET_FAULT_ERRNO (ENOSPC when unset)
//   QUILLET_RECORD=p     each counted call that succeeds is appended to p, naming what it acted on
//                        (a: the file, j: the journal, d: the folder): "write a|j OFFSET LENGTH"
//                        and the bytes, "truncate a|j LENGTH", "sync a|j|d", "create j", "unlink j"
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static struct stat target, folder, journal;
static int target_known, folder_known, journal_known, fault_errno;
static char journal_name[NAME_MAX + 1];
static long fault_at, counted;
static FILE* record;

__attribute__((constructor)) static void fault_setup(void) {
  const char* file = getenv("QUILLET_FAULT_FILE");
  target_known = file != NULL && stat(file, &target) == 0;
  if (target_known) {
    folder_known = stat(dirname(strdupa(file)), &folder) == 0;
    snprintf(journal_name, sizeof journal_name, ".%s.quillet-journal", basename(strdupa(file)));
  }
  const char* at = getenv("QUILLET_FAULT_AT");
  const char* number = getenv("QUILLET_FAULT_ERRNO");
  fault_at = at != NULL ? strtol(at, NULL, 10) : 0;
  fault_errno = number != NULL && atoi(number) > 0 ? atoi(number) : ENOSPC;
  const char* record_path = getenv("QUILLET_RECORD");
  record = record_path != NULL ? fopen(record_path, "we") : NULL;
}

static int same_node(const struct stat* a, const struct stat* b) {
  return a->st_dev == b->st_dev && a->st_ino == b->st_ino;
}

// What `fd` is, when it is one of `kinds`: 'a' the file, 'j' the journal, 'd' the folder; else 0.
static char kind_of(int fd, const char* kinds) {
  struct stat status;
  if (!target_known || fstat(fd, &status) != 0) {
    return 0;
  }
  const char kind = same_node(&status, &target)                                              ? 'a'
                    : journal_known && same_node(&status, &journal)                          ? 'j'
                    : folder_known && S_ISDIR(status.st_mode) && same_node(&status, &folder) ? 'd'
                                                                                             : 0;
  return kind != 0 && strchr(kinds, kind) != NULL ? kind : 0;
}

// True when `path` names the journal: its last part is the journal's name and the folder holding
// it is the file's folder.
static int names_journal(const char* path) {
  struct stat status;
  return target_known && folder_known && strcmp(basename(strdupa(path)), journal_name) == 0 &&
         stat(dirname(strdupa(path)), &status) == 0 && same_node(&status, &folder);
}

// Before a counted call: false when it is to fail instead, with errno set.
static int proceed(void) {
  if (++counted == fault_at) {
    errno = fault_errno;
    return 0;
  }
  return 1;
}

// After a counted call that succeeded: its line on record, followed by `length` bytes of `data`.
// Flushed at once, so a killed process leaves every call it made on record.
__attribute__((format(printf, 3, 4))) static void note(const void* data, size_t length,
                                                       const char* format, ...) {
  if (record != NULL) {
    va_list arguments;
    va_start(arguments, format);
    vfprintf(record, format, arguments);
    va_end(arguments);
    fwrite(data, 1, length, record);
    fflush(record);
  }
}

#define REAL(result_type, name, params)                                                \
  static result_type(*real) params;                                                    \
  if (real == NULL && (real = (result_type(*) params)dlsym(RTLD_NEXT, #name)) == NULL) \
    abort();

// A call on one of `kinds` (or, for `unlink`, on the journal's name), counted, and recorded when
// it succeeds: the line's format and values, then `length` bytes of `data`.
#define COUNTED_CALL(type, name, params, args, kind_of_call, succeeded, data, length, ...) \
  type name params {                                                                       \
    REAL(type, name, params)                                                               \
    const char kind = kind_of_call;                                                        \
    if (kind == 0)                                                                         \
      return real args;                                                                    \
    if (!proceed())                                                                        \
      return -1;                                                                           \
    const type result = real args;                                                         \
    if (succeeded)                                                                         \
      note(data, length, __VA_ARGS__);                                                     \
    return result;                                                                         \
  }
COUNTED_CALL(ssize_t, pwrite, (int fd, const void* buffer, size_t count, off_t offset),
             (fd, buffer, count, offset), kind_of(fd, "aj"), result > 0, buffer, (size_t)result,
             "write %c %lld %zd\n", kind, (long long)offset, result)
COUNTED_CALL(int, ftruncate, (int fd, off_t length), (fd, length), kind_of(fd, "aj"), result == 0,
             NULL, 0, "truncate %c %lld\n", kind, (long long)length)
COUNTED_CALL(int, fsync, (int fd), (fd), kind_of(fd, "ajd"), result == 0, NULL, 0, "sync %c\n",
             kind)
COUNTED_CALL(int, fdatasync, (int fd), (fd), kind_of(fd, "ajd"), result == 0, NULL, 0, "sync %c\n",
             kind)
COUNTED_CALL(int, unlink, (const char* path), (path), names_journal(path) ? 'j' : 0, result == 0,
             NULL, 0, "unlink j\n")

// Opens of the journal's name: a creation is counted; any open learns the journal's inode.
int open(const char* path, int flags, ...) {
  REAL(int, open, (const char*, int, ...))
  mode_t mode = 0;
  if (flags & (O_CREAT | __O_TMPFILE)) {
    va_list arguments;
    va_start(arguments, flags);
    mode = (mode_t)va_arg(arguments, int);
    va_end(arguments);
  }
  if (!names_journal(path)) {
    return real(path, flags, mode);
  }
  struct stat before;
  const int creates = (flags & O_CREAT) && stat(path, &before) != 0;
  if (creates && !proceed()) {
    return -1;
  }
  const int fd = real(path, flags, mode);
  journal_known = fd >= 0 && fstat(fd, &journal) == 0;
  if (creates && fd >= 0) {
    note(NULL, 0, "create j\n");
  }
  return fd;
}
