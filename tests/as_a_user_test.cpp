// The installed program as people start it: by name through PATH from a folder of their own, as
// an ordinary user, in Japanese, and beside a Language folder that is not the program's.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

struct TRun {
  std::string out, err;
  int exit_code = -1;  // -1 when the program did not exit normally
};

// Runs `command` (its first element searched in this process's PATH when it has no "/"), with
// both streams in memory files read once it has ended.
TRun run(Arguments command) {
  std::vector<char*> argv;
  for (std::string& text : command)
    argv.push_back(text.data());
  argv.push_back(nullptr);
  const int out = memfd_create("out", MFD_CLOEXEC), err = memfd_create("err", MFD_CLOEXEC);
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(out, 1) >= 0 && dup2(err, 2) >= 0)
      execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  auto contents = [](int fd) {
    std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (pread(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
      text = "<unreadable>";
    close(fd);
    return text;
  };
  return {contents(out), contents(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string read_file(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The unprivileged account the permission cases run as.
constexpr uid_t kNobody = 65534;

class AsAUser : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-user-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fHome = folder_template;
    fWork = fHome / "music";
    fs::create_directories(fWork);
    // Another user must reach the program, the library and the work folder.
    for (const fs::path& folder : {fHome, fWork})
      fs::permissions(folder, fs::perms(0755));
    const TRun install =
        run({QUILLET_CMAKE_COMMAND, "--install", QUILLET_BINARY_DIR, "--prefix", fHome / ".local"});
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
  }
  void TearDown() override { fs::remove_all(fHome); }

  // The texts of the installed dictionaries in `lang`, for building expectations.
  std::unique_ptr<BLocale> Texts(const std::string& lang) const {
    setenv("LANG", lang.c_str(), 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    auto locale = std::make_unique<BLocale>();
    for (const char* name : {"VornCommon", "Quillet"})
      locale->LoadLanguageFile((fHome / ".local/lib/quillet/Language/Dictionaries" / name).c_str());
    return locale;
  }
  static std::string Header(const BLocale& texts, const std::string& file) {
    BString header(texts.GetString("Tag file: %FileNameAPE%"));
    header.ReplaceAll("%FileNameAPE%", file.c_str());
    return std::string(header.Text()) + "\n";
  }
  static std::string Error(const BLocale& texts, const char* key) {
    return std::string(texts.GetString("ERROR: ")) + texts.GetString(key) + "\n";
  }
  static std::string Listing(const BLocale& texts, const std::string& title) {
    std::string text;
    for (const char* field : {"Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"})
      text += texts.GetString((std::string(field) + ": ").c_str()) +
              (field == std::string("Title") ? title : "") + "\n";
    return text;
  }

  // Runs `program` in `folder` with nothing of this process's environment but what a login
  // gives: HOME, a PATH that starts with ~/.local/bin, and LANG. `as_nobody` drops to an
  // unprivileged user first.
  TRun Quillet(const Arguments& arguments, const std::string& program = "quillet",
               const std::string& lang = "C.UTF-8", bool as_nobody = false,
               fs::path folder = "") const {
    Arguments command;
    if (as_nobody)
      command = {"/usr/bin/setpriv", "--reuid=" + std::to_string(kNobody),
                 "--regid=" + std::to_string(kNobody), "--clear-groups"};
    const std::string path = "PATH=" + (fHome / ".local/bin").string() + ":/usr/bin:/bin";
    command.insert(command.end(), {"/usr/bin/env", "-i", "-C", (folder.empty() ? fWork : folder),
                                   "HOME=" + fHome.string(), path, "LANG=" + lang, program});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command);
  }
  fs::path MakeSample(const std::string& name, const std::string& title) const {
    const fs::path file = fWork / name;
    EXPECT_EQ(run({MAKE_SAMPLE_APE, file, "100K"}).exit_code, 0);
    if (!title.empty()) {
      EXPECT_EQ(Quillet({"-T=" + title, name}).exit_code, 0);
    }
    return file;
  }

  fs::path fHome, fWork;
};

// Copies the installed dictionaries to `folder`/Language/Dictionaries with every translation
// replaced by one word, so that a message read from them shows it.
void plant_dictionaries(const fs::path& installed, const fs::path& folder) {
  fs::create_directories(folder / "Language/Dictionaries");
  for (const auto& entry : fs::directory_iterator(installed)) {
    std::istringstream lines(read_file(entry.path()));
    std::ofstream planted(folder / "Language/Dictionaries" / entry.path().filename());
    bool in_translation = false;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("msgstr ", 0) == 0) {
        planted << "msgstr \"HIJACKED\"\n";
        in_translation = true;
      } else if (!(in_translation && line.rfind('"', 0) == 0)) {
        planted << line << "\n";
        in_translation = false;
      }
    }
  }
}

// Started by name from a folder that holds an entry of the program's name and a Language folder
// of its own, the program speaks from its own dictionaries in the user's language, exactly as
// when started by its path. A path with a "/" still means the file it names.
TEST_F(AsAUser, StartedByNameSpeaksFromItsOwnDictionaries) {
  const fs::path elsewhere = fHome / "elsewhere";
  const fs::path installed = fHome / ".local/lib/quillet";
  plant_dictionaries(installed / "Language/Dictionaries", elsewhere);
  fs::copy_file(installed / "quillet", elsewhere / "quillet");
  fs::copy_file(MakeSample("song.ape", "Seasons"), elsewhere / "song.ape");

  std::vector<std::string> missing_by_language;
  for (const std::string lang : {"C.UTF-8", "ja_JP.UTF-8"}) {
    const auto texts = Texts(lang);
    for (const Arguments& arguments :
         {Arguments{"-?"}, Arguments{"missing.ape"}, Arguments{"song.ape"}}) {
      SCOPED_TRACE(lang + " " + arguments.front());
      const TRun by_name = Quillet(arguments, "quillet", lang, false, elsewhere);
      const TRun by_path = Quillet(arguments, installed / "quillet", lang, false, elsewhere);
      EXPECT_EQ(by_name.out, by_path.out);
      EXPECT_EQ(by_name.exit_code, by_path.exit_code);
      EXPECT_EQ(by_name.out.find("HIJACKED"), std::string::npos) << by_name.out;
      EXPECT_EQ(by_name.out.find('@'), std::string::npos) << by_name.out;  // no bare keys
    }
    const TRun missing = Quillet({"missing.ape"}, "quillet", lang, false, elsewhere);
    EXPECT_EQ(missing.out, Header(*texts, "missing.ape") + Error(*texts, "@Err_Access_Failed@"));
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(Quillet({"song.ape"}, "quillet", lang, false, elsewhere).out,
              Header(*texts, "song.ape") + Listing(*texts, "Seasons"));
    missing_by_language.push_back(missing.out);
  }
  EXPECT_NE(missing_by_language[0], missing_by_language[1]);  // Japanese was really spoken

  // Started by a path, the program's folder is the one the path names, links followed: the copy
  // reads the planted dictionaries beside it, a link to the installed program does not.
  fs::create_symlink(installed / "quillet", elsewhere / "linked");
  EXPECT_NE(Quillet({"-?"}, "./quillet", "C.UTF-8", false, elsewhere).out.find("HIJACKED"),
            std::string::npos);
  EXPECT_EQ(Quillet({"-?"}, "./linked", "C.UTF-8", false, elsewhere).out,
            Quillet({"-?"}, installed / "quillet", "C.UTF-8", false, elsewhere).out);
  // A path that leads nowhere gives no folder: then no dictionary is read at all, and the keys
  // show, rather than whatever the current folder holds.
  const TRun lost = Quillet({"-c", "exec -a gone/quillet \"$0\" -?", installed / "quillet"},
                            "/bin/bash", "C.UTF-8", false, elsewhere);
  EXPECT_EQ(lost.out.find("HIJACKED"), std::string::npos) << lost.out;
  EXPECT_NE(lost.out.find("@Tag_Overview Quillet@"), std::string::npos) << lost.out;
}

// An ordinary user writes their own writable files only. Their own read-only file is refused
// with an error; a file owned by someone else is listed unchanged with exit code 0, because a
// save the library refuses is not reported. Root alone clears a file its owner cannot write.
TEST_F(AsAUser, OrdinaryUserChangesOnlyWhatTheyMayWrite) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to make files of two owners and to drop to user " << kNobody;
  const auto texts = Texts("C.UTF-8");
  const struct {
    const char* name;
    uid_t owner;
    fs::perms mode;
  } files[] = {{"mine.ape", kNobody, fs::perms(0644)},
               {"mine_read_only.ape", kNobody, fs::perms(0444)},
               {"roots.ape", 0, fs::perms(0644)}};
  for (const auto& file : files) {
    const fs::path path = MakeSample(file.name, "Old");
    ASSERT_EQ(chown(path.c_str(), file.owner, file.owner), 0);
    fs::permissions(path, file.mode);
  }
  const struct {
    bool as_nobody;
    Arguments arguments;
    std::string expected;
    int code;
    bool changed;
  } cases[] = {
      {true, {"-T=New", "mine.ape"}, Listing(*texts, "New"), 0, true},
      {true, {"-T=New", "mine_read_only.ape"}, Error(*texts, "@Err_Cannot_Write_Tag@"), 1, false},
      {true, {"-REMOVEALL", "mine_read_only.ape"}, Listing(*texts, "Old"), 0, false},
      {true, {"-T=New", "roots.ape"}, Listing(*texts, "Old"), 0, false},
      {true, {"-REMOVEALL", "roots.ape"}, Listing(*texts, "Old"), 0, false},
      {false, {"-T=New", "mine_read_only.ape"}, Error(*texts, "@Err_Cannot_Write_Tag@"), 1, false},
      {false, {"-REMOVEALL", "mine_read_only.ape"}, Listing(*texts, ""), 0, true},
  };
  for (const auto& c : cases) {
    const std::string& name = c.arguments.back();
    SCOPED_TRACE((c.as_nobody ? "nobody " : "root ") + c.arguments.front() + " " + name);
    const std::string before = read_file(fWork / name);
    const TRun done = Quillet(c.arguments, "quillet", "C.UTF-8", c.as_nobody);
    EXPECT_EQ(done.out, Header(*texts, name) + c.expected);
    EXPECT_EQ(done.exit_code, c.code);
    EXPECT_EQ(done.err, "");
    const std::string after = read_file(fWork / name);
    EXPECT_EQ(after != before, c.changed);
    // Only the tag at the end may change: the bytes before the old tag's items stay.
    const size_t audio = before.find("APETAGEX");
    ASSERT_NE(audio, std::string::npos);
    EXPECT_EQ(after.compare(0, audio, before, 0, audio), 0);
  }
}

// What the manual promises about field options, run as written there.
TEST_F(AsAUser, FieldOptionsDoWhatTheManualSays) {
  const auto texts = Texts("C.UTF-8");
  const fs::path file = MakeSample("song.ape", "");
  ASSERT_EQ(Quillet({"-T=Seasons", "-Y=1999", "song.ape"}).exit_code, 0);
  const std::string empty = Listing(*texts, "");
  std::string only_1999 = empty;
  only_1999.insert(only_1999.find(texts->GetString("Year: ")) + strlen(texts->GetString("Year: ")),
                   "1999");
  const struct {
    Arguments arguments;
    std::string expected;
    int code;
  } cases[] = {
      // An empty value removes the field: no item is left under its key.
      {{"-T=", "song.ape"}, Header(*texts, "song.ape") + only_1999, 0},
      // A bare field option empties the field; a word after it is not its value but the file.
      {{"-Y", "2024"}, Header(*texts, "2024") + Error(*texts, "@Err_Access_Failed@"), 1},
      {{"-Y", "2024", "song.ape"}, Header(*texts, "song.ape") + empty, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.front() + " " + c.arguments[1]);
    const TRun done = Quillet(c.arguments);
    EXPECT_EQ(done.out, c.expected);
    EXPECT_EQ(done.exit_code, c.code);
    if (c.arguments.front() == "-T=") {
      EXPECT_EQ(read_file(file).find("Title"), std::string::npos);
    }
  }
}

}  // namespace
