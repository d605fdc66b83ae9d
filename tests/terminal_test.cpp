// The installed program listing hostile tags and file names: at a pseudo-terminal every control
// byte shows in octal, while a pipe receives the bytes unchanged.
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

struct TRun {
  std::string out;  // standard output and standard error, as the reader received them
  int exit_code = -1;
};

// Runs `command` under `env -i` with both its output streams on a pseudo-terminal or on a pipe.
// The terminal is raw, so the bytes read are the bytes the program wrote.
TRun run(Arguments command, bool terminal) {
  command.insert(command.begin(), {"/usr/bin/env", "-i"});
  std::vector<char*> argv;
  for (std::string& text : command)
    argv.push_back(text.data());
  argv.push_back(nullptr);
  int ends[2];
  termios raw{};
  cfmakeraw(&raw);
  if ((terminal ? openpty(&ends[0], &ends[1], nullptr, &raw, nullptr) : pipe(ends)) != 0)
    return {"<no " + std::string(terminal ? "terminal>" : "pipe>")};
  const pid_t child = fork();
  if (child == 0) {
    if (setsid() >= 0 && dup2(ends[1], 1) >= 0 && dup2(ends[1], 2) >= 0)
      execv(argv[0], argv.data());
    _exit(127);
  }
  close(ends[1]);
  TRun done;
  char buffer[4096];
  for (ssize_t count; (count = read(ends[0], buffer, sizeof buffer)) != 0;) {
    if (count < 0 && errno != EINTR)
      break;  // EIO: the terminal's last writer has gone
    done.out.append(buffer, count > 0 ? static_cast<size_t>(count) : 0);
  }
  close(ends[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  done.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return done;
}

class Terminal : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-terminal-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fHome = folder_template;
    fs::create_directories(fHome / "work");
    const TRun install =
        run({QUILLET_CMAKE_COMMAND, "--install", QUILLET_BINARY_DIR, "--prefix", fHome / ".local"},
            false);
    ASSERT_EQ(install.exit_code, 0) << install.out;
    ASSERT_EQ(run({MAKE_SAMPLE_APE, Sample(), "100K"}, false).exit_code, 0);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "C.UTF-8", 1);
    for (const char* name : {"VornCommon", "Quillet"})
      fLocale.LoadLanguageFile((fHome / ".local/lib/quillet/Language/Dictionaries" / name).c_str());
  }
  void TearDown() override { fs::remove_all(fHome); }

  fs::path Sample() const { return fHome / "sample.ape"; }
  TRun Quillet(const Arguments& arguments, bool terminal = false) const {
    Arguments command{"-C", fHome / "work", "HOME=" + fHome.string(), "LANG=C.UTF-8",
                      fHome / ".local/bin/quillet"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command, terminal);
  }
  std::string T(const char* key) const { return fLocale.GetString(key); }
  std::string Header(const std::string& name) const {
    BString text(T("Tag file: %FileNameAPE%").c_str());
    return std::string(text.ReplaceAll("%FileNameAPE%", name.c_str()).Text()) + "\n";
  }
  std::string Listing(const std::string& title) const {
    std::string text = T("Title: ") + title + "\n";
    for (const char* label : {"Artist: ", "Album: ", "Comment: ", "Year: ", "Genre: ", "Track: "})
      text += T(label) + "\n";
    return text;
  }

  fs::path fHome;
  BLocale fLocale;
};

// Each title is stored in song.ape, then listed into a pipe and at a terminal; the last rows
// list hostile names from the command line.
TEST_F(Terminal, ShowsControlBytesEscapedAtATerminalAndUnchangedInAPipe) {
  const auto title = [this](const std::string& text) { return Header("song.ape") + Listing(text); };
  const auto unknown = [this](const char* option) {
    BString text(T("@Err_Unknown_Option %Option%@").c_str());
    return T("ERROR: ") + text.ReplaceAll("%Option%", option).Text() + "\n";
  };
  const std::string access = T("ERROR: ") + T("@Err_Access_Failed@") + "\n";
  const std::string c1 = "\u009b31mC1\u009d0;t\u009c";  // CSI, OSC and ST in UTF-8
  const struct {
    Arguments write;  // how the title is stored, when it is; the listing detects its set
    std::string piped, shown;
    Arguments listed = {"song.ape"};
    int exit_code = 0;
  } cases[] = {
      {{"-T=\x1b]0;pwned\a\x1b[31mRED"},
       title("\x1b]0;pwned\a\x1b[31mRED"),
       title("\\033]0;pwned\\007\\033[31mRED")},
      {{"-T=bare\x1b here"}, title("bare\x1b here"), title("bare\\033 here")},
      {{"-T=Harmless\rEvil"}, title("Harmless\rEvil"), title("Harmless\\015Evil")},
      {{"-T=Song\nArtist: Someone else"},
       title("Song\nArtist: Someone else"),
       title("Song\\012Artist: Someone else")},
      {{"-T=" + c1}, title(c1), title("\\302\\23331mC1\\302\\2350;t\\302\\234")},
      // Japanese whose UTF-8 holds bytes 0x80-0x9F, stored in each set, prints as it is.
      {{"-T=春の海 せ"}, title("春の海 せ"), title("春の海 せ")},
      {{"-CS=S", "-T=春の海 せ"}, title("春の海 せ"), title("春の海 せ")},
      {{"-CS=J", "-T=春の海 せ"}, title("春の海 せ"), title("春の海 せ")},
      // Read as JIS for its ESC; an escape that is no JIS one keeps its bytes through the
      // conversion, and is escaped after it.
      {{"-T=\x1b(Zbad\a"}, title("\x1b(Zbad\a"), title("\\033(Zbad\\007")},
      {{"-T=ok"},
       Header("evil\x1b]0;x\a.ape") + Listing("ok"),
       Header("evil\\033]0;x\\007.ape") + Listing("ok"),
       {"evil\x1b]0;x\a.ape"}},
      {{}, unknown("-\x1b[2J"), unknown("-\\033[2J"), {"-\x1b[2J", "x.ape"}, 1},
      {{},
       Header("gone\r\x7f.ape") + access,
       Header("gone\\015\\177.ape") + access,
       {"gone\r\x7f.ape"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    if (!c.write.empty()) {
      fs::copy_file(Sample(), fHome / "work" / c.listed.back(),
                    fs::copy_options::overwrite_existing);
      Arguments write = c.write;
      write.push_back(c.listed.back());
      ASSERT_EQ(Quillet(write).exit_code, 0);
    }
    const TRun piped = Quillet(c.listed), shown = Quillet(c.listed, true);
    EXPECT_EQ(piped.out, c.piped);
    EXPECT_EQ(shown.out, c.shown);
    EXPECT_EQ(piped.exit_code, c.exit_code);
    EXPECT_EQ(shown.exit_code, c.exit_code);
  }
}

}  // namespace
