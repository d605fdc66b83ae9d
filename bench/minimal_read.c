/* The lower bound of the benchmark: a program that only opens the file, reads the APE tag's
 * footer at its end and then the tag's items, and prints the seven fields. No checks beyond
 * what keeps it in bounds. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

static uint32_t read32(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

int main(int argc, char* argv[]) {
  static const char* const fields[] = {"Title", "Artist", "Album", "Comment",
                                       "Year",  "Genre",  "Track"};
  static unsigned char items[1 << 16];
  unsigned char footer[32];
  if (argc != 2) {
    return 2;
  }
  int fd = open(argv[1], O_RDONLY);
  off_t length = fd < 0 ? -1 : lseek(fd, 0, SEEK_END);
  if (length < 32 || pread(fd, footer, 32, length - 32) != 32) {
    return 1;
  }
  uint32_t size = memcmp(footer, "APETAGEX", 8) == 0 ? read32(footer + 12) : 32;
  if (size < 32 || size - 32 > sizeof items || size > length) {
    return 1;
  }
  size_t count = size - 32;
  if (pread(fd, items, count, length - size) != (ssize_t)count) {
    return 1;
  }
  close(fd);
  printf("Tag file: %s\n", argv[1]);
  for (int f = 0; f < 7; ++f) {
    const char* value = "";
    int value_length = 0;
    for (size_t at = 0; at + 8 < count;) {
      uint32_t bytes = read32(items + at);
      const char* key = (const char*)items + at + 8;
      size_t key_length = strnlen(key, count - at - 8);
      if (at + 8 + key_length + 1 + bytes > count) {
        break;
      }
      if (strcasecmp(key, fields[f]) == 0) {
        value = key + key_length + 1;
        value_length = (int)bytes;
      }
      at += 8 + key_length + 1 + bytes;
    }
    printf("%s: %.*s\n", fields[f], value_length, value);
  }
  return 0;
}
