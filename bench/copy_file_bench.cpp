// Times copy_file against cp, and against the plain read/write loop, on one large file.
//
//   copy_file_bench [--size-mib N] [--runs N] [folder]   compare (default 1024 MiB, 5 runs, ".")
//   copy_file_bench copy SOURCE DESTINATION              one copy_file, for hyperfine
//
// The source is written once with patterned data (no holes), then each run copies it to a new
// target by each method in turn, after a sync so that one method's write-back does not slow the
// next. Each target is removed before its next run.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/storage/file.h"
#include "util/copy_file.h"

extern char** environ;

namespace {

bool write_source(const std::string& path, size_t sizeMib) {
  BFile file(path.c_str(), B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE, 0644);
  if (file.InitCheck() != B_OK) {
    return false;
  }
  std::vector<char> block(size_t{1} << 20);
  for (size_t mib = 0; mib < sizeMib; ++mib) {
    for (size_t i = 0; i < block.size(); ++i) {
      block[i] = static_cast<char>((i * 2654435761u + mib * 97) >> 13);
    }
    off_t offset = static_cast<off_t>(mib * block.size());
    if (file.WriteAt(offset, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
      return false;
    }
  }
  return true;
}

bool run_cp(const std::string& source, const std::string& target) {
  const char* argv[] = {"cp", "--", source.c_str(), target.c_str(), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool run_read_write(const std::string& source, const std::string& target) {
  BFile in(source.c_str(), B_READ_ONLY);
  BFile out(target.c_str(), B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE, 0644);
  return copy_file_data(in, out, nullptr, DataCopyMethod::kReadWrite) == B_OK;
}

struct Method {
  const char* name;
  std::function<bool(const std::string&, const std::string&)> copy;
  std::vector<double> seconds;
};

int compare(size_t sizeMib, int runs, const std::string& folder) {
  const std::string source = folder + "/copy_bench_source";
  const std::string target = folder + "/copy_bench_target";
  std::printf("writing %zu MiB to %s\n", sizeMib, source.c_str());
  if (!write_source(source, sizeMib)) {
    std::fprintf(stderr, "cannot write %s\n", source.c_str());
    return 1;
  }
  std::vector<Method> methods = {
      {"copy_file", [](auto& s, auto& t) { return copy_file(s.c_str(), t.c_str()) == 0; }, {}},
      {"cp", run_cp, {}},
      {"read/write loop", run_read_write, {}},
  };
  for (int run = 0; run < runs; ++run) {
    for (Method& method : methods) {
      std::filesystem::remove(target);
      sync();
      auto start = std::chrono::steady_clock::now();
      bool ok = method.copy(source, target);
      std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      if (!ok || std::filesystem::file_size(target) != sizeMib << 20) {
        std::fprintf(stderr, "%s failed\n", method.name);
        return 1;
      }
      method.seconds.push_back(elapsed.count());
    }
  }
  std::filesystem::remove(target);
  std::filesystem::remove(source);
  std::printf("%-16s %10s %10s %10s\n", "method", "min s", "median s", "GiB/s");
  for (Method& method : methods) {
    std::sort(method.seconds.begin(), method.seconds.end());
    double median = method.seconds[method.seconds.size() / 2];
    std::printf("%-16s %10.3f %10.3f %10.2f\n", method.name, method.seconds.front(), median,
                static_cast<double>(sizeMib) / 1024.0 / median);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "copy") == 0) {
    return copy_file(argv[2], argv[3]) == 0 ? 0 : 1;
  }
  size_t sizeMib = 1024;
  int runs = 5;
  std::string folder = ".";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size-mib") == 0 && i + 1 < argc) {
      sizeMib = std::strtoul(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
    } else {
      folder = argv[i];
    }
  }
  if (sizeMib == 0 || runs <= 0) {
    std::fprintf(stderr, "usage: %s [--size-mib N] [--runs N] [folder]\n", argv[0]);
    return 2;
  }
  return compare(sizeMib, runs, folder);
}
