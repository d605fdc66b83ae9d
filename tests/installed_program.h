// The installed program's tests: the build under ~/.local of a HOME of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"
#include "tests/fixtures.h"

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;
using TFields = std::map<std::string, std::string>;  // a field left out is empty

struct TRun {
  std::string out, err;  // at a terminal, `out` holds both streams
  int exit_code = -1;    // -1 when the program did not exit normally
  bool operator==(const TRun&) const = default;
};
inline void PrintTo(const TRun& run, std::ostream* out) {
  *out << "exit code " << run.exit_code << ", out " << testing::PrintToString(run.out) << ", err "
       << testing::PrintToString(run.err);
}

// Each stream to a memory file, read once the command has ended; or both to a raw terminal.
enum class TOutputTo { kFiles, kTerminal };

inline TRun run(Arguments command, TOutputTo to = TOutputTo::kFiles) {
  std::vector<char*> argv;
  for (std::string& text : command)
    argv.push_back(text.data());
  argv.push_back(nullptr);
  int ends[2];
  termios raw{};
  cfmakeraw(&raw);
  if (to == TOutputTo::kFiles) {
    ends[0] = memfd_create("out", MFD_CLOEXEC);
    ends[1] = memfd_create("err", MFD_CLOEXEC);
  } else if (openpty(&ends[0], &ends[1], nullptr, &raw, nullptr) != 0) {
    return {"<no terminal>", "", -1};
  }
  const pid_t child = fork();
  if (child == 0) {
    if (setsid() >= 0 && dup2(ends[to == TOutputTo::kFiles ? 0 : 1], 1) >= 0 &&
        dup2(ends[1], 2) >= 0)
      execvp(argv[0], argv.data());
    _exit(127);
  }
  TRun done;
  if (to != TOutputTo::kFiles) {
    close(ends[1]);
    char buffer[4096];
    for (ssize_t count; (count = read(ends[0], buffer, sizeof buffer)) != 0;) {
      if (count < 0 && errno != EINTR)
        break;  // EIO: the terminal's last writer has gone
      done.out.append(buffer, count > 0 ? static_cast<size_t>(count) : 0);
    }
    close(ends[0]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (to == TOutputTo::kFiles) {
    done.out = read_file("/proc/self/fd/" + std::to_string(ends[0]));
    done.err = read_file("/proc/self/fd/" + std::to_string(ends[1]));
    close(ends[0]);
    close(ends[1]);
  }
  done.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return done;
}

// Installs the build in a fresh HOME open to other users, with song.ape in a work folder, C.UTF-8.
class TInstalledProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-installed-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fHome = folder_template;
    fWork = fHome / "work";
    fs::create_directories(fWork);
    for (const fs::path& folder : {fHome, fWork})
      fs::permissions(folder, fs::perms(0755));
    const TRun install =
        run({QUILLET_CMAKE_COMMAND, "--install", QUILLET_BINARY_DIR, "--prefix", Prefix()});
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    MakeSample("song.ape");
    UseLanguage("C.UTF-8");
  }
  void TearDown() override { fs::remove_all(fHome); }

  fs::path Prefix() const { return fHome / ".local"; }
  fs::path Dictionaries() const { return Prefix() / "lib/quillet/Language/Dictionaries"; }

  // The language of the next runs, and of the texts the expectations are built from.
  void UseLanguage(const std::string& lang) {
    fLang = lang;
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang.c_str(), 1);
    fLocale = std::make_unique<BLocale>();
    for (const char* name : {"VornCommon", "Quillet"})
      fLocale->LoadLanguageFile((Dictionaries() / name).c_str());
  }
  std::string T(const std::string& key) const { return fLocale->GetString(key.c_str()); }
  std::string Header(const std::string& file_name) const {
    BString text(T("Tag file: %FileNameAPE%").c_str());
    return std::string(text.ReplaceAll("%FileNameAPE%", file_name.c_str()).Text()) + "\n";
  }
  std::string Listing(const TFields& fields = {}) const {
    std::string text;
    for (const char* field : {"Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"}) {
      auto found = fields.find(field);
      text += T(std::string(field) + ": ") + (found == fields.end() ? "" : found->second) + "\n";
    }
    return text;
  }
  std::string Error(const char* key, const std::string& value = "libMonkeysAudio.so") const {
    BString text(T(key).c_str());
    text.ReplaceAll("%FileName%", value.c_str()).ReplaceAll("%Option%", value.c_str());
    return T("ERROR: ") + text.Text() + "\n";
  }

  TRun Quillet(const Arguments& arguments, TOutputTo to = TOutputTo::kFiles) const {
    return Start("quillet", arguments, fWork, to);
  }
  // Runs `program` in `folder` with only HOME, PATH (~/.local/bin first) and LANG set.
  TRun Start(const std::string& program, const Arguments& arguments, const fs::path& folder,
             TOutputTo to = TOutputTo::kFiles) const {
    Arguments command = {"/usr/bin/env",
                         "-i",
                         "-C",
                         folder,
                         "HOME=" + fHome.string(),
                         "PATH=" + (Prefix() / "bin").string() + ":/usr/bin:/bin",
                         "LANG=" + fLang,
                         program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command, to);
  }
  fs::path MakeSample(const std::string& name) const {
    const TRun made = run({MAKE_SAMPLE_APE, fWork / name, "100K"});
    EXPECT_EQ(made.exit_code, 0) << made.err;
    return fWork / name;
  }
  fs::path MakeTitled(const std::string& name, const std::string& title) const {
    const fs::path file = MakeSample(name);
    EXPECT_EQ(Quillet({"-T=" + title, name}).exit_code, 0);
    return file;
  }

  fs::path fHome, fWork;
  std::string fLang;
  std::unique_ptr<BLocale> fLocale;
};

#define EXPECT_RUN(run, out, exit_code) EXPECT_EQ((run), (TRun{(out), "", (exit_code)}))
