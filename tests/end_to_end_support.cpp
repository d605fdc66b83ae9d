#include "tests/end_to_end_support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace {

uint32_t read32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

// Start of an APE tag whose footer ends at `end`, or `end` when there is none.
size_t ape_tag_start(const std::string& bytes, size_t end) {
  if (end < 32 || bytes.compare(end - 32, 8, "APETAGEX") != 0) {
    return end;
  }
  const size_t size = read32(bytes, end - 32 + 12);
  const bool has_header = (read32(bytes, end - 32 + 20) & 0x80000000u) != 0;
  const size_t whole = size + (has_header ? 32 : 0);
  return whole <= end ? end - whole : end;
}

}  // namespace

TRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment,
                 const std::filesystem::path& folder) {
  TRun run;
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    return run;
  }
  std::vector<std::string> argument_texts{program};
  argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argument_texts) {
    argv.push_back(text.data());
  }
  argv.push_back(nullptr);
  std::vector<std::string> environment_texts;
  for (const auto& [name, value] : environment) {
    environment_texts.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& text : environment_texts) {
    envp.push_back(text.data());
  }
  envp.push_back(nullptr);

  // The child changes folder before it starts the program.
  pid_t child = fork();
  if (child == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (chdir(folder.c_str()) != 0) {
      _exit(126);
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char chunk[4096];
      ssize_t count = read(fds[i].fd, chunk, sizeof chunk);
      if (count > 0) {
        sinks[i]->append(chunk, static_cast<size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

size_t tag_region_start(const std::string& bytes) {
  size_t end = bytes.size();
  if (end >= 128 && bytes.compare(end - 128, 3, "TAG") == 0 &&
      !(end >= 131 && bytes.compare(end - 131, 8, "APETAGEX") == 0)) {
    end -= 128;
  }
  return ape_tag_start(bytes, end);
}

std::string mutagen_items(const std::filesystem::path& file) {
  static const char* const kScript = R"(
import sys
import mutagen.apev2 as apev2
try:
    tag = apev2.APEv2(sys.argv[1])
except apev2.APENoHeaderError:
    sys.exit(0)
except Exception as error:
    print("error: " + type(error).__name__)
    sys.exit(0)
for key in sorted(tag.keys()):
    value = tag[key]
    text = "<binary>" if value.kind == apev2.BINARY else str(value)
    print(key + "=" + text)
)";
  TRun run = run_program("/usr/bin/python3", {"-c", kScript, file.string()},
                         {{"PATH", "/usr/bin:/bin"}, {"LANG", "C.UTF-8"}}, file.parent_path());
  return run.exit_code == 0 ? run.out : "python failed: " + run.err;
}
