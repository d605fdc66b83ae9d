// The installed program as a user runs it, by name through PATH from a HOME of the test's own.
#include <regex>
#include <set>

#include "tests/installed_program.h"

namespace {

// The APE tag as mutagen reads it: sorted "key=value" lines, or "error: ..." if refused.
std::string mutagen_items(const fs::path& file) {
  static const char* const kScript = R"(
import sys, mutagen.apev2 as apev2
try:
    items = sorted(apev2.APEv2(sys.argv[1]).items())
    print("".join(key + "=" + str(value) + "\n" for key, value in items), end="")
except Exception as error:
    print("error: " + type(error).__name__)
)";
  const TRun done =
      run({"/usr/bin/env", "-i", "LANG=C.UTF-8", "/usr/bin/python3", "-c", kScript, file.string()});
  return done.exit_code == 0 ? done.out : "python failed: " + done.err;
}

using EndToEnd = TInstalledProgram;

const std::string kBanner = "\nQuillet    Ver 1.30\nCopyright (C) TARVIK. All rights reserved.\n\n";

// Fields written, emptied and removed, the file named as typed: odd names, "./" and whole paths.
TEST_F(EndToEnd, WholeRunRemovesWritesAndLists) {
  for (const std::string name : {"it's \"quoted\".ape", "日本語の曲.ape", "caf\xe9-latin1.ape"}) {
    const std::string audio = read_file(MakeSample(name)), dotted = "./" + name,
                      path = (fWork / name).string();
    EXPECT_RUN(Quillet({"-A=Someone", "-G=Jazz", name}),
               Header(name) + Listing({{"Artist", "Someone"}, {"Genre", "Jazz"}}), 0);
    EXPECT_RUN(Quillet({"-G=", dotted}), Header(dotted) + Listing({{"Artist", "Someone"}}), 0);
    EXPECT_RUN(Quillet({"-REMOVEALL", "-T=Intro", "-CS=S", path}),
               Header(path) + Listing({{"Title", "Intro"}}), 0);
    EXPECT_EQ(mutagen_items(path), "Title=Intro\n");
    EXPECT_TRUE(read_file(path).starts_with(audio));
  }
}

// Listing and every failure, the library's among them, on standard output; the file unchanged.
TEST_F(EndToEnd, ListsOrFailsWithoutChangingTheFile) {
  std::ofstream(fWork / "notes.ape") << "These are not Monkey's Audio bytes.\n";
  const fs::path library = Prefix() / "lib/libMonkeysAudio.so",
                 built = QUILLET_BINARY_DIR "/platform/monkeysaudio/libMonkeysAudio.so";
  const std::string not_loaded = Error("@Err_Load_Lib_Monkeys_Audio %FileName%@"),
                    access = Error("@Err_Access_Failed@"),
                    no_entries = Error("@Err_Get_Lib_Monkeys_Audio_Entries %FileName%@"),
                    too_old =
                        "Fake Monkey's Audio    Ver 1.39\nCopyright nobody, for tests\n"
                        "Entry points only\n\n" +
                        Error("@Err_Check_Lib_Monkeys_Audio_Version %FileName%@");
  // Each row's library (if any) goes into a folder under the prefix, the user's removed first.
  const std::tuple<Arguments, std::string, int, fs::path, const char*> cases[] = {
      {{"notes.ape"}, Header("notes.ape") + access, 1, built, "lib"},
      {{"-T=x", "missing.ape"}, Header("missing.ape") + access, 1, built, "lib"},
      {{"-?"}, kBanner + not_loaded, 1, "", ""},
      // Beside the program is not where the library is looked for.
      {{"song.ape"}, not_loaded, 1, built, "lib/quillet"},
      // A system-wide install's copy beside the program serves a user who has none, not more.
      {{"song.ape"}, Header("song.ape") + Listing(), 0, built, "lib/quillet/lib"},
      {{"song.ape"}, no_entries, 1, FAKE_LMA_NO_VERIFY, "lib"},
      {{"-V", "song.ape"}, kBanner + too_old, 1, FAKE_LMA_139, "lib"},
  };
  for (const auto& [arguments, expected, code, copied, folder] : cases) {
    fs::remove(library);
    if (!copied.empty()) {
      fs::create_directories(Prefix() / folder);
      fs::copy_file(copied, Prefix() / folder / library.filename(),
                    fs::copy_options::overwrite_existing);
    }
    const fs::path file = fWork / arguments.back();
    auto state = [&file] { return fs::exists(file) ? read_file(file) : "<none>"; };
    const std::string was = state();
    SCOPED_TRACE(arguments.front() + " with " + copied.string());
    EXPECT_RUN(Quillet(arguments), expected, code);
    EXPECT_EQ(state(), was);
  }
}

// Japanese messages, and Japanese text stored in Shift-JIS and read back by detection.
TEST_F(EndToEnd, SpeaksJapaneseWhenTheUserDoes) {
  UseLanguage("ja_JP.UTF-8");
  // ① exists in CP932 only, not in plain Shift-JIS.
  const std::string listing =
      Header("song.ape") + Listing({{"Title", "春の海"}, {"Comment", "テスト: ①"}});
  EXPECT_RUN(Quillet({"-T=春の海", "-C=テスト: ①", "-CS=S", "song.ape"}), listing, 0);
  EXPECT_NE(Quillet({"-V", "song.ape"}).out.find("Copyright (C) ＴＡＲＶＩＫ."), std::string::npos);
  // The program in the build tree finds the dictionaries beside it.
  EXPECT_RUN(Start(QUILLET_BUILD_PROGRAM, {"song.ape"}, fWork), listing, 0);
}

// Values are stored as typed in their set; past 2047 bytes, cut between characters of that set.
TEST_F(EndToEnd, ValuesAreStoredAsTypedAndCutBetweenCharacters) {
  const fs::path file = fWork / "song.ape";
  const std::string audio = read_file(file);
  const auto x = [](size_t count) { return std::string(count, 'x'); };
  const std::string koto = "\xE7\xAD\x9D", koto_sjis = "\xE2\xB6", koto_jis = "\x1B$Bd8\x1B(B";
  // The set (-CS, or none), the title typed, the bytes stored, whether mutagen reads them.
  const std::tuple<std::string, std::string, std::string, bool> cases[] = {
      {"", x(2044) + koto, x(2044) + koto, true},
      {"", x(2045) + koto, x(2045), true},
      {"S", "Koto " + koto, "Koto " + koto_sjis, false},
      {"S", x(2044) + "\uFF83\uFF7D\uFF84", x(2044) + "\xC3\xBD\xC4", false},  // ﾃｽﾄ
      {"S", x(2046) + koto, x(2046), true},
      {"J", x(2039) + koto, x(2039) + koto_jis, true},
      {"J", x(2040) + koto, x(2040), true},
      {"", x(2043) + "Caf\xE9", x(2043) + "Caf\xE9", false},  // Latin-1
      // A byte that starts no character, or a character cut short, is a character of its own.
      {"", x(2045) + "\xE9\xE9\xE9", x(2045) + "\xE9\xE9", false},
      {"", x(2046) + "\xE6\x97", x(2046) + "\xE6", false},
      {"U", x(2044) + "\xF0\x9F\x8E\xB5", x(2044), true},  // 🎵
  };
  for (const auto& [set, typed, stored, utf8] : cases) {
    SCOPED_TRACE(set + " " + std::to_string(typed.size()) +
                 testing::PrintToString(typed.substr(typed.size() - 6)));
    Arguments arguments{"-T=" + typed, "song.ape"};
    if (!set.empty())
      arguments.insert(arguments.begin(), "-CS=" + set);
    EXPECT_EQ(Quillet(arguments).exit_code, 0);
    const std::string bytes = read_file(file);
    const size_t key_end = bytes.rfind(std::string("Title\0", 6)) + 6;
    EXPECT_EQ(bytes.substr(key_end, bytes.size() - 32 - key_end), stored);
    EXPECT_TRUE(bytes.starts_with(audio));
    EXPECT_EQ(mutagen_items(file), utf8 ? "Title=" + stored + "\n" : "error: APEBadItemError\n");
  }
}

// A listing stays within a budget of system calls, opens the file twice (the driver's open and
// the listing's own) and no locale data nor conversion module for UTF-8 text.
TEST_F(EndToEnd, ListingStaysWithinItsSystemCallBudget) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer runtime makes system calls of its own";
#endif
  if (!fs::exists("/usr/bin/strace"))
    GTEST_SKIP() << "strace is not installed";
  MakeTitled("song.ape", "Intro");
  const fs::path trace = fHome / "trace";  // a line a call, from the program's start on
  const TRun traced = Start(
      "/usr/bin/strace",
      {"-f", "-qq", "-o", trace.string(), (Prefix() / "bin/quillet").string(), "song.ape"}, fWork);
  ASSERT_EQ(traced.exit_code, 0) << traced.err;
  const std::string calls = read_file(trace);
  const auto count = [&calls](const char* pattern) {
    const std::regex re(pattern);
    return std::distance(std::sregex_iterator(calls.begin(), calls.end(), re),
                         std::sregex_iterator());
  };
  EXPECT_LE(count("\n"), 100) << calls;
  EXPECT_EQ(count("open[^\n]*\"song\\.ape\""), 2) << calls;
  EXPECT_EQ(count("/locale|gconv"), 0) << calls;
}

// Hostile titles and file names: at a pseudo-terminal every control byte shows in octal, while a
// file receives the bytes unchanged. Which bytes are escaped is the console stream's own test.
using Terminal = TInstalledProgram;

TEST_F(Terminal, ShowsControlBytesEscapedAtATerminalAndUnchangedElsewhere) {
  const auto expect_shown = [this](const Arguments& arguments, const std::string& filed,
                                   const std::string& shown, int code) {
    for (const auto& [to, expected] :
         {std::pair{TOutputTo::kFiles, filed}, {TOutputTo::kTerminal, shown}})
      EXPECT_RUN(Quillet(arguments, to), expected, code);
  };
  const std::string hostile = "\x1b]0;pwned\a\x1b[31mRED\rEvil\nArtist: Someone else";
  // Each title stored, then listed with its set detected: non-JIS escapes, kept and then escaped;
  // JIS (its ESC bytes are converted); UTF-8 with bytes 0x80-0x9F, printed as it is.
  const std::tuple<Arguments, std::string, std::string> titles[] = {
      {{"-T=" + hostile},
       hostile,
       "\\033]0;pwned\\007\\033[31mRED\\015Evil\\012Artist: Someone else"},
      {{"-CS=J", "-T=春の海 せ"}, "春の海 せ", "春の海 せ"},
  };
  for (auto [write, text, shown] : titles) {
    write.push_back("song.ape");
    ASSERT_EQ(Quillet(write).exit_code, 0);
    expect_shown({"song.ape"}, Header("song.ape") + Listing({{"Title", text}}),
                 Header("song.ape") + Listing({{"Title", shown}}), 0);
  }
  expect_shown({"-\x1b[2J", "x.ape"}, Error("@Err_Unknown_Option %Option%@", "-\x1b[2J"),
               Error("@Err_Unknown_Option %Option%@", "-\\033[2J"), 1);
  const std::string gone = Error("@Err_Access_Failed@");
  expect_shown({"gone\r\x7f.ape"}, Header("gone\r\x7f.ape") + gone,
               Header("gone\\015\\177.ape") + gone, 1);
}

// The installed program as people start it: by name from their folders, as ordinary users.
using AsAUser = TInstalledProgram;

constexpr uid_t kNobody = 65534;

// The help of a program that has found no dictionary: every key as itself, in its layout.
const std::string kHelpOfKeys =
    kBanner +
    "@Tag_Overview Quillet@\n\n"
    "=== Usage ===\n"
    "@Tag_Cmd_Format@\n\n"
    "Option (Case insensitive):\n"
    "  @Usage_Title -Title -T@\n"
    "  @Usage_Artist -Artist -A@\n"
    "  @Usage_Album -Album -L@\n"
    "  @Usage_Comment -Comment -C@\n"
    "  @Usage_Year -Year -Y@\n"
    "  @Usage_Genre -Genre -G@\n"
    "  @Usage_Track -Track -R@\n"
    "  @Usage_Char_Set -Charset -CS@\n"
    "    @Usage_Char_Set_Detail JIS J SHIFT-JIS S UTF-8 U@\n"
    "  @Usage_Remove_All -Removeall@\n"
    "  @Usage_Help -Help -?@\n"
    "  @Usage_Verbose -Verbose -V@\n\n"
    "Example:\n"
    "  Quillet MyApe.ape -Title=Seasons -Artist=\"Jack and Ken\" -Charset=UTF-8\n\n";

// Started by name from a folder holding a copy of the program and Language folder of its own
// (every translation "HIJACKED"), the program speaks from its own dictionaries, as by its path.
TEST_F(AsAUser, StartedByNameSpeaksFromItsOwnDictionaries) {
  const fs::path elsewhere = fHome / "elsewhere", installed = Prefix() / "lib/quillet/quillet";
  static const std::regex kTranslation(R"(msgstr ".*"(\n".*")*)");
  fs::create_directories(elsewhere / "Language/Dictionaries");
  for (const auto& entry : fs::directory_iterator(Dictionaries()))
    std::ofstream(elsewhere / "Language/Dictionaries" / entry.path().filename())
        << std::regex_replace(read_file(entry.path()), kTranslation, "msgstr \"HIJACKED\"");
  fs::copy_file(installed, elsewhere / "quillet");
  fs::copy_file(MakeTitled("song.ape", "Seasons"), elsewhere / "song.ape");
  for (const std::string lang : {"C.UTF-8", "ja_JP.UTF-8"}) {
    UseLanguage(lang);
    for (const char* argument : {"-?", "missing.ape", "song.ape"}) {
      SCOPED_TRACE(lang + " " + argument);
      const TRun by_name = Start("quillet", {argument}, elsewhere);
      const TRun by_path = Start(installed, {argument}, elsewhere);
      EXPECT_EQ(by_name, by_path);
      EXPECT_FALSE(std::regex_search(by_name.out, std::regex("HIJACKED|@"))) << by_name.out;
    }
  }

  // By a path, the program's folder is the one the path names (~/.local/bin/quillet: a link).
  const std::string help = Start(installed, {"-?"}, elsewhere).out;
  EXPECT_NE(Start("./quillet", {"-?"}, elsewhere).out.find("HIJACKED"), std::string::npos);
  // Under another name: one without "/" (even "") is found through PATH; a path that leads
  // nowhere gives no folder, so no dictionary at all rather than the current folder's.
  const auto started_as = [&](const std::string& name) {
    return Start("/bin/bash", {"-c", "exec -a '" + name + "' \"$0\" -?", installed}, elsewhere);
  };
  EXPECT_EQ(started_as("").out, help);
  EXPECT_RUN(started_as("gone/quillet"), kHelpOfKeys, 1);
}

// A user writes only their own files whose entry named has the owner's write bit (not the group's
// nor a link target's); a save the library refuses (another's file) is not reported.
TEST_F(AsAUser, OrdinaryUserChangesOnlyWhatTheyMayWrite) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to make files of two owners and to drop to user " << kNobody;
  const std::string old = Listing({{"Title", "Old"}}), refused = Error("@Err_Cannot_Write_Tag@");
  const std::tuple<uid_t, const char*, uid_t, unsigned, bool, std::string, int, bool> cases[] = {
      {kNobody, "-T=New", kNobody, 0644, false, Listing({{"Title", "New"}}), 0, true},
      {kNobody, "-T=New", kNobody, 0444, false, refused, 1, false},
      {kNobody, "-T=New", kNobody, 0466, false, refused, 1, false},
      {kNobody, "-T=New", kNobody, 0444, true, old, 0, false},
      {kNobody, "-REMOVEALL", kNobody, 0444, false, old, 0, false},
      {kNobody, "-T=New", 0, 0644, false, old, 0, false},
      {0, "-REMOVEALL", kNobody, 0444, false, Listing(), 0, true},
  };
  int row = 0;
  for (const auto& [user, option, owner, mode, through_link, expected, code, changed] : cases) {
    const std::string target = "file" + std::to_string(++row) + ".ape",
                      name = through_link ? "link" + target : target;
    const fs::path file = MakeTitled(target, "Old");
    ASSERT_EQ(chown(file.c_str(), owner, owner), 0);
    fs::permissions(file, fs::perms(mode));
    if (through_link)
      fs::create_symlink(target, fWork / name);
    const std::string id = std::to_string(user);
    SCOPED_TRACE(name + " as " + id + " " + option);
    const std::string before = read_file(file);
    EXPECT_RUN(
        Start("/usr/bin/setpriv",
              {"--reuid=" + id, "--regid=" + id, "--clear-groups", "quillet", option, name}, fWork),
        Header(name) + expected, code);
    EXPECT_EQ(read_file(file) != before, changed);
  }
}

// The code in `file` between `open` and `close` that defines set_field(), `undo`'s patterns
// replaced: the README's list indent, the man page's roff escapes.
std::string snippet(const char* file, const std::string& open, const std::string& close,
                    const std::vector<std::pair<const char*, const char*>>& undo) {
  const std::string text = read_file(std::string(QUILLET_SOURCE_DIR "/") + file);
  const size_t defined = text.find("set_field()"), start = text.rfind(open, defined) + open.size();
  std::string code = text.substr(start, text.find(close, defined) - start);
  for (const auto& [pattern, by] : undo)
    code = std::regex_replace(code, std::regex(pattern), by);
  return code;
}

// The README's check for scripts finds every unsaved write, going on past each: those refused
// (exit code 1) and one not reported (exit code 0), a save on a full disk.
TEST_F(AsAUser, ReadmeScriptFindsEveryUnsavedWrite) {
  const std::string script = snippet("README.md", "\n  ```sh\n", "  ```\n", {{"(^|\n)  ", "$1"}});
  EXPECT_EQ(snippet("doc/quillet.1", "\n.nf\n.ft CR\n", ".ft\n.fi\n",
                    {{R"(\\-)", "-"}, {R"(\\e)", "\\"}}),
            script);

  // The disk fills in a folder of its own, as the fault is counted on the folder's syncs too.
  const fs::path full = fWork / "full";
  fs::create_directories(full);
  fs::copy_file(MakeTitled("full.ape", "Old"), full / "full.ape");
  fs::permissions(MakeSample("unwritable.ape"), fs::perms(0444));
  std::ofstream(fWork / "bad.ape") << "These are not Monkey's Audio bytes.\n";

  EXPECT_EQ(Start("/bin/sh", {"-c", script}, fWork),
            (TRun{"",
                  Header("./bad.ape") + Error("@Err_Access_Failed@") + Header("./unwritable.ape") +
                      Error("@Err_Cannot_Write_Tag@"),
                  1}));
  EXPECT_EQ(Quillet({"song.ape"}).out, Header("song.ape") + Listing({{"Genre", "Jazz"}}));

  const std::string fault = "export LD_PRELOAD=" FAULT_INJECT_LIBRARY
                            " QUILLET_FAULT_FILE=full.ape QUILLET_FAULT_AT=1"
                            " ASAN_OPTIONS=verify_asan_link_order=0\n";
  EXPECT_EQ(Start("/bin/sh", {"-c", fault + script}, full),
            (TRun{"", "./full.ape: Genre was not saved\n", 1}));
  EXPECT_EQ(Start("quillet", {"full.ape"}, full).out,
            Header("full.ape") + Listing({{"Title", "Old"}}));
}

// `make uninstall` takes away exactly what `make install` put into a prefix, however often, and
// what was there before or added since stays. What it installs is stripped and runs.
TEST_F(AsAUser, UninstallTakesAwayExactlyWhatInstallPut) {
  const std::string install_program = QUILLET_SOURCE_DIR "/scripts/install-program";
  auto tree = [this] {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(fHome))
      entries.insert(fs::relative(entry.path(), fHome).string() +
                     (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
    return entries;
  };
  // What was there before (a trailing "/" makes a folder), and what is added since inside ours.
  const std::tuple<const char*, std::vector<std::string>, int, std::vector<std::string>> cases[] = {
      {"into a prefix that does not exist", {}, 1, {}},
      {"twice into an empty prefix", {".local/"}, 2, {}},
      {"beside other programs",
       {".local/bin/other", ".local/lib/", ".local/share/man/man1/"},
       1,
       {".local/lib/quillet/Language/Dictionaries/Quillet.fr.po"}},
  };
  for (const auto& [name, there_before, installs, added_since] : cases) {
    SCOPED_TRACE(name);
    fs::remove_all(Prefix());
    for (const std::string& path : there_before) {
      fs::create_directories((fHome / path).parent_path());
      if (path.back() != '/')
        std::ofstream(fHome / path) << "not ours\n";
    }
    std::set<std::string> expected_after = tree();
    for (int round = 0; round < installs; ++round) {
      const TRun installed = run({install_program, "install", QUILLET_BINARY_DIR, Prefix()});
      ASSERT_EQ(installed.exit_code, 0) << installed.out << installed.err;
    }
    for (const char* file : {"bin/quillet", "lib/libMonkeysAudio.so"})
      EXPECT_EQ(read_file(Prefix() / file).find(".symtab"), std::string::npos) << file;
    for (const std::string& path : added_since) {
      std::ofstream(fHome / path) << "added\n";
      for (fs::path at = path; !at.empty(); at = at.parent_path())
        expected_after.insert(at == path ? path : at.string() + "/");
    }
    EXPECT_RUN(Quillet({"song.ape"}), Header("song.ape") + Listing(), 0);
    const TRun removed = run({install_program, "uninstall", Prefix()});
    EXPECT_EQ(removed.exit_code, 0) << removed.err;
    EXPECT_EQ(tree(), expected_after);
  }
  const TRun nothing = run({install_program, "uninstall", Prefix()});
  EXPECT_EQ(nothing.exit_code, 1);
  EXPECT_NE(nothing.err.find("Nothing to uninstall"), std::string::npos) << nothing.err;
}

}  // namespace
