// The file a fuzz target hands to the library's file layer: one per process, in a folder of its
// own on /dev/shm (memory, and a real path, so that a save's journal can sit beside it),
// rewritten with each input. The folder goes when the process ends.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/monkeysaudio/core/byte_order.h"
#include "platform/monkeysaudio/core/save_journal.h"

class TFuzzFile {
 public:
  static TFuzzFile& Get() {
    static TFuzzFile file;
    return file;
  }

  const char* Path() const { return fPath.c_str(); }

  // The file holds exactly `bytes`, with no journal beside it.
  void Write(TByteSpan bytes) const {
    (void)unlink(journal_path(fPath).c_str());
    const int fd = open(fPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
      const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
      if (put <= 0) {
        break;
      }
      done += static_cast<size_t>(put);
    }
    if (fd < 0 || close(fd) != 0 || done != bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", fPath.c_str());
      std::abort();
    }
  }

  TBytes Read() const {
    TBytes bytes;
    const int fd = open(fPath.c_str(), O_RDONLY | O_CLOEXEC);
    uint8_t chunk[1 << 16];
    ssize_t got = 0;
    while (fd >= 0 && (got = read(fd, chunk, sizeof chunk)) > 0) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (fd < 0 || got < 0 || close(fd) != 0) {
      std::fprintf(stderr, "cannot read %s\n", fPath.c_str());
      std::abort();
    }
    return bytes;
  }

 private:
  // A folder named after this process; those of processes gone (a found fault stops a target
  // before it can clean up) are removed first.
  TFuzzFile() {
    const std::filesystem::path root = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const std::string prefix = "quillet-fuzz-";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(root, ignored)) {
      const std::string name = entry.path().filename().string();
      const pid_t pid = name.rfind(prefix, 0) == 0 ? atoi(name.c_str() + prefix.size()) : 0;
      if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
        std::filesystem::remove_all(entry.path(), ignored);
      }
    }
    fFolder = (root / (prefix + std::to_string(getpid()))).string();
    std::filesystem::remove_all(fFolder, ignored);
    std::filesystem::create_directory(fFolder);
    fPath = fFolder + "/input.ape";
  }
  ~TFuzzFile() {
    std::error_code ignored;
    std::filesystem::remove_all(fFolder, ignored);
  }

  std::string fFolder;
  std::string fPath;
};
