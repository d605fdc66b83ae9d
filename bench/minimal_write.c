/* The lower bound of the write benchmark: a program that writes TEXT over the bytes 64 before
 * the end of FILE with one pwrite, makes it durable with one fdatasync, and exits. What any
 * durable change of a tag costs at the least. */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s FILE TEXT\n", argv[0]);
    return 2;
  }
  const int fd = open(argv[1], O_RDWR | O_CLOEXEC);
  struct stat info;
  const size_t length = strlen(argv[2]);
  if (fd < 0 || fstat(fd, &info) != 0 || info.st_size < 64 + (off_t)length) {
    perror(argv[1]);
    return 1;
  }
  if (pwrite(fd, argv[2], length, info.st_size - 64) != (ssize_t)length || fdatasync(fd) != 0) {
    perror(argv[1]);
    return 1;
  }
  return close(fd) == 0 ? 0 : 1;
}
