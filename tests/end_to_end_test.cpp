// The installed program as a user runs it: every test installs the build into a HOME of its
// own, makes or copies an audio file there, runs ~/.local/bin/quillet and compares the whole
// output, the exit code and the file's bytes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;
using TFields = std::map<std::string, std::string>;  // a field left out is empty

struct TRun {
  std::string out, err;
  int exit_code = -1;  // -1 when the program did not exit normally
};

// Runs `command` under `env -i`, so that it sees exactly the settings the command names first.
// Both streams go to memory files that are read once the program has ended, so no pipe can fill.
TRun run(Arguments command) {
  command.insert(command.begin(), {"/usr/bin/env", "-i"});
  std::vector<char*> argv;
  for (std::string& text : command)
    argv.push_back(text.data());
  argv.push_back(nullptr);
  const int out = memfd_create("out", MFD_CLOEXEC), err = memfd_create("err", MFD_CLOEXEC);
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(out, 1) >= 0 && dup2(err, 2) >= 0)
      execv(argv[0], argv.data());
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

// The bytes before the file's tag region (an APE tag, then any ID3v1 tag): they must never change.
std::string audio_of(const std::string& bytes) {
  size_t end = bytes.size();
  if (end >= 128 && bytes.compare(end - 128, 3, "TAG") == 0 &&
      !(end >= 131 && bytes.compare(end - 131, 8, "APETAGEX") == 0))
    end -= 128;
  if (end < 32 || bytes.compare(end - 32, 8, "APETAGEX") != 0)
    return bytes.substr(0, end);
  uint32_t size, flags;  // little-endian, as on this host
  memcpy(&size, &bytes[end - 20], 4);
  memcpy(&flags, &bytes[end - 12], 4);
  const size_t whole = size + ((flags & 0x80000000u) != 0 ? 32 : 0);
  return bytes.substr(0, whole <= end ? end - whole : end);
}

// The APE tag as mutagen reads it: sorted "key=value" lines, "error: ..." when mutagen refuses
// the tag, empty without one.
std::string mutagen_items(const fs::path& file) {
  static const char* const kScript = R"(
import sys, mutagen.apev2 as apev2
try:
    tag = apev2.APEv2(sys.argv[1])
except apev2.APENoHeaderError:
    sys.exit(0)
except Exception as error:
    sys.exit(print("error: " + type(error).__name__))
for key in sorted(tag.keys()):
    print(key + "=" + ("<binary>" if tag[key].kind == apev2.BINARY else str(tag[key])))
)";
  const TRun done = run({"LANG=C.UTF-8", "/usr/bin/python3", "-c", kScript, file.string()});
  return done.exit_code == 0 ? done.out : "python failed: " + done.err;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fHome = folder_template;
    fWork = fHome / "work";
    fs::create_directories(fWork);
    const TRun install =
        run({QUILLET_CMAKE_COMMAND, "--install", QUILLET_BINARY_DIR, "--prefix", Prefix()});
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    UseLanguage("C.UTF-8");
  }
  void TearDown() override { fs::remove_all(fHome); }

  fs::path Prefix() const { return fHome / ".local"; }
  fs::path Library() const { return Prefix() / "lib/libMonkeysAudio.so"; }

  // The language of the next runs, and of the texts the expectations are built from.
  void UseLanguage(const std::string& lang) {
    fLang = lang;
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang.c_str(), 1);
    fLocale = std::make_unique<BLocale>();
    for (const char* name : {"VornCommon", "Quillet"})
      fLocale->LoadLanguageFile((Prefix() / "lib/quillet/Language/Dictionaries" / name).c_str());
  }
  std::string T(const std::string& key) const { return fLocale->GetString(key.c_str()); }
  std::string Replaced(const char* key, const char* name, const std::string& value) const {
    BString text(T(key).c_str());
    text.ReplaceAll(name, value.c_str());
    return text.Text();
  }
  std::string Header(const std::string& file_name) const {
    return Replaced("Tag file: %FileNameAPE%", "%FileNameAPE%", file_name) + "\n";
  }
  std::string Listing(const TFields& fields = {}) const {
    std::string text;
    for (const char* field : {"Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"}) {
      auto found = fields.find(field);
      text += T(std::string(field) + ": ") + (found == fields.end() ? "" : found->second) + "\n";
    }
    return text;
  }
  std::string Error(const char* key) const {
    return T("ERROR: ") + Replaced(key, "%FileName%", "libMonkeysAudio.so") + "\n";
  }
  // The banner; its credit line is taken from the running program (its wording is the
  // identity's).
  std::string Banner() const {
    const std::string out = Quillet({"-V"}).out;
    const size_t start = out.find('\n', 1) + 1;
    return "\nQuillet    Ver 1.30\n" + out.substr(start, out.find('\n', start) + 1 - start) + "\n";
  }
  TRun Quillet(const Arguments& arguments, std::string program = "") const {
    if (program.empty())
      program = Prefix() / "bin/quillet";
    Arguments command{
        "-C", fWork, "HOME=" + fHome.string(), "PATH=/usr/bin:/bin", "LANG=" + fLang, program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command);
  }
  fs::path MakeSample(const std::string& name) const {
    const TRun made = run({MAKE_SAMPLE_APE, fWork / name, "100K"});
    EXPECT_EQ(made.exit_code, 0) << made.err;
    return fWork / name;
  }

  fs::path fHome, fWork;
  std::string fLang;
  std::unique_ptr<BLocale> fLocale;
};

#define EXPECT_RUN(run, expected_out, expected_code) \
  do {                                               \
    const TRun& r = (run);                           \
    EXPECT_EQ(r.out, expected_out);                  \
    EXPECT_EQ(r.exit_code, expected_code);           \
    EXPECT_EQ(r.err, "");                            \
  } while (false)

TEST_F(EndToEnd, WholeRunRemovesWritesAndLists) {
  const fs::path file = MakeSample("MyApe.ape");
  const std::string audio = read_file(file);
  EXPECT_RUN(Quillet({"-A=Someone", "-G=Jazz", "MyApe.ape"}),
             Header("MyApe.ape") + Listing({{"Artist", "Someone"}, {"Genre", "Jazz"}}), 0);
  EXPECT_RUN(Quillet({"-REMOVEALL", "-T=Intro", "-CS=S", "MyApe.ape"}),
             Header("MyApe.ape") + Listing({{"Title", "Intro"}}), 0);
  EXPECT_EQ(mutagen_items(file), "Title=Intro\n");
  EXPECT_EQ(audio_of(read_file(file)), audio);
}

// Listing and every failure, the library's among them: all on standard output, and the file
// unchanged.
TEST_F(EndToEnd, ListsOrFailsWithoutChangingTheFile) {
  const std::string before = read_file(MakeSample("song.ape")), banner = Banner();
  std::ofstream(fWork / "notes.ape") << "These are not Monkey's Audio bytes.\n";
  fs::copy_file(fWork / "song.ape", fWork / "locked.ape");
  fs::permissions(fWork / "locked.ape", fs::perms(0444));
  const fs::path real = fHome / "real.so",
                 built = QUILLET_BINARY_DIR "/platform/monkeysaudio/libMonkeysAudio.so";
  fs::copy_file(Library(), real);
  const std::string not_loaded = Error("@Err_Load_Lib_Monkeys_Audio %FileName%@");
  const struct {
    fs::path library, installed_as;  // in place of the installed library; empty: none
    Arguments arguments;
    std::string expected;
    int code;
  } cases[] = {
      {real, Library(), {"song.ape"}, Header("song.ape") + Listing(), 0},
      {real, Library(), {"notes.ape"}, Header("notes.ape") + Error("@Err_Access_Failed@"), 1},
      {real,
       Library(),
       {"-T=x", "missing.ape"},
       Header("missing.ape") + Error("@Err_Access_Failed@"),
       1},
      {real,
       Library(),
       {"-T=x", "locked.ape"},
       Header("locked.ape") + Error("@Err_Cannot_Write_Tag@"),
       1},
      {real, Library(), {"locked.ape"}, Header("locked.ape") + Listing(), 0},
      {"", "", {"-T=x", "song.ape"}, not_loaded, 1},
      {"", "", {"-?"}, banner + not_loaded, 1},
      // Beside the program is not where the library is looked for.
      {built, Prefix() / "lib/quillet/libMonkeysAudio.so", {"song.ape"}, not_loaded, 1},
      {FAKE_LMA_NO_VERIFY,
       Library(),
       {"song.ape"},
       Error("@Err_Get_Lib_Monkeys_Audio_Entries %FileName%@"),
       1},
      {FAKE_LMA_139,
       Library(),
       {"-V", "song.ape"},
       banner +
           "Fake Monkey's Audio    Ver 1.39\nCopyright nobody, for tests\nEntry points only\n\n" +
           Error("@Err_Check_Lib_Monkeys_Audio_Version %FileName%@"),
       1},
  };
  for (const auto& c : cases) {
    fs::remove(Library());
    if (!c.library.empty())
      fs::copy_file(c.library, c.installed_as, fs::copy_options::overwrite_existing);
    const fs::path file = fWork / c.arguments.back();
    auto state = [&file] { return fs::exists(file) ? read_file(file) : "<none>"; };
    const std::string was = state();
    SCOPED_TRACE(c.arguments.front() + " with " + c.library.string());
    EXPECT_RUN(Quillet(c.arguments), c.expected, c.code);
    EXPECT_EQ(state(), was);
  }
  EXPECT_EQ(read_file(fWork / "song.ape"), before);
}

// Help, asked for or implied by a missing file name, shows banner and usage and touches nothing.
TEST_F(EndToEnd, HelpShowsBannerAndUsageOnly) {
  const std::string before = read_file(MakeSample("song.ape")), banner = Banner();
  const TRun help = Quillet({"-?", "song.ape"});
  for (const Arguments& arguments : {Arguments{"--help"}, Arguments{}, Arguments{"-T=Song"}})
    EXPECT_RUN(Quillet(arguments), help.out, 1);
  EXPECT_EQ(help.exit_code, 1);
  // The usage text itself is pinned by its unit test; here it follows the banner.
  EXPECT_EQ(help.out.substr(0, banner.size()), banner);
  EXPECT_NE(help.out.find(T("=== Usage ===") + "\n"), std::string::npos);
  EXPECT_EQ(read_file(fWork / "song.ape"), before);
}

TEST_F(EndToEnd, WithoutDictionariesKeysPrintAsThemselves) {
  MakeSample("song.ape");
  fs::remove_all(Prefix() / "lib/quillet/Language");
  EXPECT_RUN(Quillet({"song.ape"}),
             "Tag file: song.ape\nTitle: \nArtist: \nAlbum: \nComment: \nYear: \nGenre: \n"
             "Track: \n",
             0);
  EXPECT_RUN(Quillet({"-Q", "song.ape"}), "ERROR: @Err_Unknown_Option -Q@\n", 1);
}

// Japanese messages, and Japanese text stored in Shift-JIS and read back by detection.
TEST_F(EndToEnd, SpeaksJapaneseWhenTheUserDoes) {
  const fs::path file = MakeSample("song.ape");
  const std::string english = Quillet({"nothing.ape"}).out;
  UseLanguage("ja_JP.UTF-8");
  // ① exists in CP932 only, not in plain Shift-JIS.
  const std::string listing =
      Header("song.ape") + Listing({{"Title", "春の海"}, {"Comment", "テスト: ①"}});
  EXPECT_RUN(Quillet({"-T=春の海", "-C=テスト: ①", "-CS=S", "song.ape"}), listing, 0);
  EXPECT_EQ(mutagen_items(file).substr(0, 6), "error:");  // not UTF-8: mutagen refuses it
  const TRun failure = Quillet({"nothing.ape"});
  EXPECT_EQ(failure.out, Header("nothing.ape") + Error("@Err_Access_Failed@"));
  EXPECT_NE(failure.out, english);  // the Japanese dictionary was really used
  // The program in the build tree finds the dictionaries beside it.
  EXPECT_RUN(Quillet({"song.ape"}, QUILLET_BUILD_PROGRAM), listing, 0);
}

TEST_F(EndToEnd, FileNamesReachTheLibraryExactlyAsTyped) {
  for (const std::string name :
       {"with space.ape", "it's \"quoted\".ape", "日本語の曲.ape", "caf\xe9-latin1.ape"}) {
    MakeSample(name);
    for (const std::string& typed : {name, "./" + name, (fWork / name).string()})
      EXPECT_RUN(Quillet({"-T=ok", typed}), Header(typed) + Listing({{"Title", "ok"}}), 0);
    EXPECT_EQ(mutagen_items(fWork / name), "Title=ok\n");
  }
}

TEST_F(EndToEnd, FilesWrittenByOtherSoftwareKeepEverythingButTheNewFields) {
  const fs::path peers = fs::path(QUILLET_FIXTURES_DIR) / "peers";
  for (const char* fixture : {"taglib/mac-399-tagged.ape", "taglib/mac-399-id3v2.ape",
                              "taglib/mac-390-hdr.ape", "mutagen/mac-396.ape"}) {
    SCOPED_TRACE(fixture);
    const fs::path copy = fWork / fs::path(fixture).filename();
    fs::copy_file(peers / fixture, copy);
    fs::permissions(copy, fs::perms(0644));
    const std::string before = read_file(copy);
    // What mutagen sees afterwards: what it saw before, with the two fields replaced (other
    // spellings of their keys included).
    std::map<std::string, std::string> expected{{"Title", "Title=ひばり\n"},
                                                {"Artist", "Artist=Jack and Ken\n"}};
    std::istringstream lines(mutagen_items(copy));
    for (std::string line; std::getline(lines, line);) {
      const std::string key = line.substr(0, line.find('='));
      if (strcasecmp(key.c_str(), "Title") != 0 && strcasecmp(key.c_str(), "Artist") != 0)
        expected[key] = line + "\n";
    }
    const std::string name = copy.filename();
    const TRun run = Quillet({"-T=ひばり", "-Artist=Jack and Ken", name});
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_EQ(run.out.substr(0, Header(name).size()), Header(name));
    EXPECT_EQ(read_file(copy).substr(0, audio_of(before).size()), audio_of(before));
    std::string items;
    for (const auto& [key, line] : expected)
      items += line;
    EXPECT_EQ(mutagen_items(copy), items);
  }
}

}  // namespace
