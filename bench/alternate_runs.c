/* Times whole runs of several commands taken in turn, one run of each per round, so that
 * whatever else the machine does in the meantime falls on all of them alike; hyperfine runs
 * each command as one block, and on a shared machine the blocks drift apart.
 *
 *   alternate_runs ROUNDS COMMAND [ARGUMENT ...] [-- COMMAND [ARGUMENT ...]] ...
 *
 * Each COMMAND is run directly (no shell), with standard output going to /dev/null. Prints,
 * for each command, the minimum, median and mean wall time in milliseconds, and the ratio of
 * its median to the first command's median. Exits 1 when a run does not exit with 0.
 *
 * In an argument, "{}" stands for "A" in even rounds and "B" in odd ones, so that a write
 * benchmark changes the file in every run. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

enum { kMaxCommands = 16 };

static double now_ms(void) {
  struct timespec time;
  clock_gettime(CLOCK_MONOTONIC, &time);
  return time.tv_sec * 1e3 + time.tv_nsec / 1e6;
}

static int compare_doubles(const void* left, const void* right) {
  const double a = *(const double*)left;
  const double b = *(const double*)right;
  return (a > b) - (a < b);
}

int main(int argc, char* argv[]) {
  if (argc < 3 || atoi(argv[1]) < 1) {
    fprintf(stderr, "usage: %s ROUNDS COMMAND [ARGUMENT ...] [-- COMMAND ...] ...\n", argv[0]);
    return 2;
  }
  const int rounds = atoi(argv[1]);
  char** commands[kMaxCommands];
  int count = 0;
  commands[count++] = argv + 2;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--") == 0 && i + 1 < argc && count < kMaxCommands) {
      argv[i] = NULL;
      commands[count++] = argv + i + 1;
    }
  }
  double* times = malloc(sizeof(double) * (size_t)rounds * (size_t)count);
  if (times == NULL) {
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

  // Each command's arguments as even and as odd rounds see them.
  char** variants[kMaxCommands][2];
  for (int c = 0; c < count; ++c) {
    int length = 0;
    while (commands[c][length] != NULL) {
      ++length;
    }
    for (int parity = 0; parity < 2; ++parity) {
      variants[c][parity] = calloc((size_t)length + 1, sizeof(char*));
      for (int a = 0; a < length; ++a) {
        char* copy = strdup(commands[c][a]);
        for (char* mark = copy; (mark = strstr(mark, "{}")) != NULL;) {
          mark[0] = parity == 0 ? 'A' : 'B';
          memmove(mark + 1, mark + 2, strlen(mark + 2) + 1);
        }
        variants[c][parity][a] = copy;
      }
    }
  }

  for (int round = 0; round < rounds; ++round) {
    for (int c = 0; c < count; ++c) {
      pid_t child;
      int status = 0;
      char** arguments = variants[c][round % 2];
      const double start = now_ms();
      if (posix_spawn(&child, arguments[0], &actions, NULL, arguments, environ) != 0 ||
          waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s: a run did not exit with 0\n", commands[c][0]);
        return 1;
      }
      times[c * rounds + round] = now_ms() - start;
    }
  }

  double first_median = 0;
  for (int c = 0; c < count; ++c) {
    double* own = times + c * rounds;
    double sum = 0;
    for (int round = 0; round < rounds; ++round) {
      sum += own[round];
    }
    qsort(own, (size_t)rounds, sizeof(double), compare_doubles);
    const double median = own[rounds / 2];
    if (c == 0) {
      first_median = median;
    }
    printf("%-24s min %6.2f  median %6.2f  mean %6.2f ms  median x %.2f\n",
           strrchr(commands[c][0], '/') ? strrchr(commands[c][0], '/') + 1 : commands[c][0], own[0],
           median, sum / rounds, median / first_median);
  }
  free(times);
  return 0;
}
