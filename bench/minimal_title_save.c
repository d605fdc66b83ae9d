/* The least a durable change of the Title costs when the tag is rewritten whole with the moves
 * Quillet's save makes: read the whole APE tag (header, items, footer) into memory, replace the
 * Title's value in place, write the new tag after the file's end and sync, write it over the old
 * one and sync, cut the file to its new length and sync. One buffer of the larger tag's size.
 *
 *   minimal_title_save FILE TITLE
 *
 * In TITLE, "{}" is not special: alternate_runs replaces it before the run. Expects a tag with
 * a header and a Title item; no checks beyond what keeps it in bounds. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

static uint32_t read32(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

static void write32(unsigned char* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = (unsigned char)(value >> 8 * i);
  }
}

static int write_all(int fd, const unsigned char* bytes, size_t count, off_t at) {
  while (count > 0) {
    ssize_t done = pwrite(fd, bytes, count, at);
    if (done <= 0) {
      return -1;
    }
    bytes += done;
    count -= (size_t)done;
    at += done;
  }
  return 0;
}

int main(int argc, char* argv[]) {
  if (argc != 3) {
    return 2;
  }
  const size_t title_length = strlen(argv[2]);
  int fd = open(argv[1], O_RDWR | O_CLOEXEC);
  struct stat status;
  unsigned char footer[32];
  if (fd < 0 || fstat(fd, &status) != 0 || status.st_size < 64 ||
      pread(fd, footer, 32, status.st_size - 32) != 32 || memcmp(footer, "APETAGEX", 8) != 0) {
    return 1;
  }
  const off_t length = status.st_size;
  const uint32_t size = read32(footer + 12);
  if (size < 32 || size + 32 > length) {
    return 1;
  }
  const size_t old_tag = size + 32;
  const off_t tag_at = length - (off_t)old_tag;
  unsigned char* tag = malloc(old_tag + title_length);
  if (tag == NULL || pread(fd, tag, old_tag, tag_at) != (ssize_t)old_tag) {
    return 1;
  }
  size_t at = 32;
  const size_t items_end = old_tag - 32;
  while (at + 9 < items_end) {
    uint32_t value_bytes = read32(tag + at);
    const char* key = (const char*)tag + at + 8;
    size_t key_length = strnlen(key, items_end - at - 8);
    size_t value_at = at + 8 + key_length + 1;
    if (value_at + value_bytes > items_end) {
      return 1;
    }
    if (strcasecmp(key, "Title") == 0) {
      memmove(tag + value_at + title_length, tag + value_at + value_bytes,
              old_tag - value_at - value_bytes);
      memcpy(tag + value_at, argv[2], title_length);
      write32(tag + at, (uint32_t)title_length);
      const size_t new_tag = old_tag - value_bytes + title_length;
      write32(tag + 12, (uint32_t)(new_tag - 32));
      write32(tag + new_tag - 32 + 12, (uint32_t)(new_tag - 32));
      if (write_all(fd, tag, new_tag, length) != 0 || fdatasync(fd) != 0 ||
          write_all(fd, tag, new_tag, tag_at) != 0 || fdatasync(fd) != 0 ||
          ftruncate(fd, tag_at + (off_t)new_tag) != 0 || fdatasync(fd) != 0) {
        return 1;
      }
      free(tag);
      return close(fd) == 0 ? 0 : 1;
    }
    at = value_at + value_bytes;
  }
  return 1;
}
