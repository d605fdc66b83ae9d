// The installed program as people start it: by name through PATH from a folder of their own, as
// an ordinary user, in Japanese, and beside a Language folder that is not the program's.
#include <regex>
#include <set>

#include "tests/installed_program.h"

namespace {

// The unprivileged account the permission cases run as.
constexpr uid_t kNobody = 65534;

class AsAUser : public TInstalledProgram {
 protected:
  // Runs `program` (by name: found through PATH) from `folder`; `as_nobody` drops to an
  // unprivileged user first.
  TRun Run(const Arguments& arguments, const std::string& program = "quillet",
           const fs::path& folder = "", bool as_nobody = false) const {
    Arguments wrapper;
    if (as_nobody)
      wrapper = {"/usr/bin/setpriv", "--reuid=" + std::to_string(kNobody),
                 "--regid=" + std::to_string(kNobody), "--clear-groups"};
    return Start(program, arguments, folder.empty() ? fWork : folder, TOutputTo::kFiles, wrapper);
  }
  fs::path MakeTitled(const std::string& name, const std::string& title) const {
    const fs::path file = MakeSample(name);
    EXPECT_EQ(Run({"-T=" + title, name}).exit_code, 0);
    return file;
  }
};

// Copies the installed dictionaries to `folder`/Language/Dictionaries with every translation
// replaced by one word, so that a message read from them shows it.
void plant_dictionaries(const fs::path& installed, const fs::path& folder) {
  static const std::regex kTranslation(R"(msgstr ".*"(\n".*")*)");
  fs::create_directories(folder / "Language/Dictionaries");
  for (const auto& entry : fs::directory_iterator(installed))
    std::ofstream(folder / "Language/Dictionaries" / entry.path().filename())
        << std::regex_replace(read_file(entry.path()), kTranslation, "msgstr \"HIJACKED\"");
}

// The help a program that has found no dictionary prints: every key as itself, so this pins what
// the code puts around and into them.
const char kHelpOfKeys[] =
    "\nQuillet    Ver 1.30\n"
    "Copyright (C) TARVIK. All rights reserved.\n\n"
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

// Started by name from a folder that holds an entry of the program's name and a Language folder
// of its own, the program speaks from its own dictionaries in the user's language, exactly as
// when started by its path. A path with a "/" still means the file it names.
TEST_F(AsAUser, StartedByNameSpeaksFromItsOwnDictionaries) {
  const fs::path elsewhere = fHome / "elsewhere", installed = Prefix() / "lib/quillet/quillet";
  plant_dictionaries(Dictionaries(), elsewhere);
  fs::copy_file(installed, elsewhere / "quillet");
  fs::copy_file(MakeTitled("song.ape", "Seasons"), elsewhere / "song.ape");
  std::set<std::string> outputs;  // what each run must print is the end-to-end test's
  for (const std::string lang : {"C.UTF-8", "ja_JP.UTF-8"}) {
    UseLanguage(lang);
    for (const char* argument : {"-?", "missing.ape", "song.ape"}) {
      SCOPED_TRACE(lang + " " + argument);
      const TRun by_name = Run({argument}, "quillet", elsewhere);
      const TRun by_path = Run({argument}, installed, elsewhere);
      EXPECT_EQ(by_name.out, by_path.out);
      EXPECT_EQ(by_name.exit_code, by_path.exit_code);
      // Neither the planted translations nor bare keys.
      EXPECT_FALSE(std::regex_search(by_name.out, std::regex("HIJACKED|@"))) << by_name.out;
      outputs.insert(by_name.out);
    }
  }
  EXPECT_EQ(outputs.size(), 6u);  // Japanese was really spoken
  UseLanguage("C.UTF-8");

  // Started by a path, the program's folder is the one the path names, links followed: the copy
  // reads the planted dictionaries beside it; a link to the installed program, a chain of
  // relative links to it and a path with ".." and "//" lead to the installed folder.
  const std::string help = Run({"-?"}, installed, elsewhere).out;
  EXPECT_NE(Run({"-?"}, "./quillet", elsewhere).out.find("HIJACKED"), std::string::npos);
  fs::create_symlink(installed, elsewhere / "linked");
  fs::create_symlink("linked", elsewhere / "chain");
  for (const char* start : {"./linked", "./chain", "../elsewhere//linked"})
    EXPECT_EQ(Run({"-?"}, start, elsewhere).out, help) << start;
  // Started under another name: one without "/" (even an empty one) is the program found through
  // PATH; a path that leads nowhere gives no folder, so no dictionary is read at all and the
  // keys show, rather than whatever the current folder holds.
  const auto started_as = [&](const std::string& name) {
    return Run({"-c", "exec -a '" + name + "' \"$0\" -?", installed}, "/bin/bash", elsewhere);
  };
  EXPECT_EQ(started_as("").out, help);
  EXPECT_RUN(started_as("gone/quillet"), kHelpOfKeys, 1);
}

// An ordinary user writes their own writable files only: only the owner's write bit of the entry
// named counts, not the group's, nor that of the file a link leads to. A refused write is an
// error; a file owned by someone else is listed unchanged with exit code 0, because a save the
// library refuses is not reported. Root alone clears a file its owner cannot write.
TEST_F(AsAUser, OrdinaryUserChangesOnlyWhatTheyMayWrite) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to make files of two owners and to drop to user " << kNobody;
  const struct {
    const char* name;
    uid_t owner;
    fs::perms mode;
  } files[] = {{"mine.ape", kNobody, fs::perms(0644)},
               {"mine_read_only.ape", kNobody, fs::perms(0444)},
               {"mine_0466.ape", kNobody, fs::perms(0466)},
               {"roots.ape", 0, fs::perms(0644)}};
  for (const auto& file : files) {
    const fs::path path = MakeTitled(file.name, "Old");
    ASSERT_EQ(chown(path.c_str(), file.owner, file.owner), 0);
    fs::permissions(path, file.mode);
  }
  fs::create_symlink("mine_read_only.ape", fWork / "link.ape");
  const std::string old = Listing({{"Title", "Old"}}), refused = Error("@Err_Cannot_Write_Tag@");
  const struct {
    bool as_nobody;
    Arguments arguments;
    std::string expected;
    int code;
    bool changed;
  } cases[] = {
      {true, {"-T=New", "mine.ape"}, Listing({{"Title", "New"}}), 0, true},
      {true, {"-T=New", "mine_read_only.ape"}, refused, 1, false},
      {true, {"-T=New", "mine_0466.ape"}, refused, 1, false},
      {true, {"-T=New", "link.ape"}, old, 0, false},
      {true, {"-REMOVEALL", "mine_read_only.ape"}, old, 0, false},
      {true, {"-T=New", "roots.ape"}, old, 0, false},
      {true, {"-REMOVEALL", "roots.ape"}, old, 0, false},
      {false, {"-T=New", "mine_read_only.ape"}, refused, 1, false},
      {false, {"-REMOVEALL", "mine_read_only.ape"}, Listing(), 0, true},
  };
  for (const auto& c : cases) {
    const std::string& name = c.arguments.back();
    SCOPED_TRACE((c.as_nobody ? "nobody " : "root ") + c.arguments.front() + " " + name);
    const std::string before = read_file(fWork / name);
    EXPECT_RUN(Run(c.arguments, "quillet", "", c.as_nobody), Header(name) + c.expected, c.code);
    const std::string after = read_file(fWork / name);
    EXPECT_EQ(after != before, c.changed);
    // Only the tag at the end may change: the bytes before the old tag's items stay.
    const size_t audio = before.find("APETAGEX");
    ASSERT_NE(audio, std::string::npos);
    EXPECT_EQ(after.compare(0, audio, before, 0, audio), 0);
  }
}

// The first block of shell code in `file` between `open` and `close` that holds `name`, each
// pattern of `undo` replaced: the README's list indent, the man page's roff escapes.
std::string snippet(const char* file, const std::string& open, const std::string& close,
                    const std::string& name,
                    const std::vector<std::pair<const char*, const char*>>& undo) {
  const std::string text = read_file(std::string(QUILLET_SOURCE_DIR "/") + file);
  for (size_t start = text.find(open); start != std::string::npos;
       start = text.find(open, start + 1)) {
    std::string code =
        text.substr(start + open.size(), text.find(close, start) - start - open.size());
    if (code.find(name) == std::string::npos)
      continue;
    for (const auto& [pattern, by] : undo)
      code = std::regex_replace(code, std::regex(pattern), by);
    return code;
  }
  return "";
}

// The check the README gives scripts finds every write that did not reach the file: one the
// program refuses (exit code 1), and the ones it does not report (exit code 0): a tag holding a
// damaged item, which the library will not rewrite, and a save that fails on a full disk.
TEST_F(AsAUser, ReadmeScriptFindsEveryUnsavedWrite) {
  const std::string script =
      snippet("README.md", "\n  ```sh\n", "  ```\n", "set_field()", {{"(^|\n)  ", "$1"}});
  ASSERT_NE(script, "");
  EXPECT_EQ(snippet("doc/quillet.1", "\n.nf\n.ft CR\n", ".ft\n.fi\n", "set_field()",
                    {{R"(\\-)", "-"}, {R"(\\e)", "\\"}}),
            script);

  const fs::path folder = fWork / "music", full = fWork / "full";
  fs::create_directories(folder);
  fs::create_directories(full);
  fs::copy_file(MakeSample("good.ape"), folder / "good.ape");
  fs::copy_file(MakeSample("locked.ape"), folder / "locked.ape");
  fs::permissions(folder / "locked.ape", fs::perms(0444));
  fs::copy_file(MakeTitled("full.ape", "Old"), full / "full.ape");
  // An item whose length runs past the tag: the library reads the items before it and will
  // not rewrite the tag, lest it lose the rest.
  MakeTitled("damaged.ape", "Old");
  EXPECT_EQ(Run({"-A=Zed", "damaged.ape"}).exit_code, 0);
  std::string damaged = read_file(fWork / "damaged.ape");
  const size_t key = damaged.rfind(std::string("Artist\0", 7));
  ASSERT_NE(key, std::string::npos);
  damaged.replace(key - 8, 4, std::string("\xFF\x7F\0\0", 4));
  std::ofstream(folder / "damaged.ape", std::ios::binary) << damaged;

  const TRun music = Run({"-c", script}, "/bin/sh", folder);
  EXPECT_EQ(music.out, "");
  EXPECT_EQ(music.err, "./damaged.ape: Genre was not saved\n" + Header("./locked.ape") +
                           Error("@Err_Cannot_Write_Tag@"));
  EXPECT_EQ(music.exit_code, 1);
  EXPECT_EQ(Run({"good.ape"}, "quillet", folder).out,
            Header("good.ape") + Listing({{"Genre", "Jazz"}}));

  const TRun disk_full = Run({"-c", "export LD_PRELOAD=" FAULT_INJECT_LIBRARY
                                    " QUILLET_FAULT_FILE=full.ape QUILLET_FAULT_AT=1"
                                    " ASAN_OPTIONS=verify_asan_link_order=0\n" +
                                        script},
                             "/bin/sh", full);
  EXPECT_EQ(disk_full.err, "./full.ape: Genre was not saved\n");
  EXPECT_EQ(disk_full.exit_code, 1);
  EXPECT_EQ(Run({"full.ape"}, "quillet", full).out,
            Header("full.ape") + Listing({{"Title", "Old"}}));
}

// `make uninstall` takes away exactly what `make install` put into a prefix, however often it
// was installed there: the folders it created go when they are left empty, and whatever was
// there before, or was added since, stays. What it installs is stripped and runs.
TEST_F(AsAUser, UninstallTakesAwayExactlyWhatInstallPut) {
  const std::string install_program = QUILLET_SOURCE_DIR "/scripts/install-program";
  // Every entry under `root`, a folder's name ending in "/".
  auto tree = [](const fs::path& root) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      entries.insert(fs::relative(entry.path(), root).string() +
                     (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
    return entries;
  };
  MakeSample("song.ape");
  const fs::path other_home = fHome / "other";
  const fs::path prefix = other_home / ".local";
  const struct {
    const char* name;
    std::vector<const char*> there_before;  // a trailing "/" makes a folder
    int installs;
    std::vector<const char*> added_since;
  } cases[] = {
      {"into a prefix that does not exist", {}, 1, {}},
      {"twice into an empty prefix", {".local/"}, 2, {}},
      // Empty folders that were there stay; so do what other programs and the user put there.
      {"beside other programs",
       {".local/bin/other", ".local/lib/", ".local/share/man/man1/"},
       1,
       {".local/lib/quillet/Language/Dictionaries/Quillet.fr.po"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(other_home);
    fs::create_directories(other_home);
    for (const std::string path : c.there_before) {
      fs::create_directories((other_home / path).parent_path());
      if (path.back() != '/')
        std::ofstream(other_home / path) << "not ours\n";
    }
    const std::set<std::string> before = tree(other_home);
    for (int round = 0; round < c.installs; ++round) {
      const TRun installed = run({install_program, "install", QUILLET_BINARY_DIR, prefix});
      ASSERT_EQ(installed.exit_code, 0) << installed.out << installed.err;
    }
    for (const char* name : {"bin/quillet", "lib/libMonkeysAudio.so"})
      EXPECT_EQ(read_file(prefix / name).find(".symtab"), std::string::npos) << name;
    // What the user adds inside the installed folders stays, with the folders that hold it.
    std::set<std::string> expected_after = before;
    for (const std::string path : c.added_since) {
      std::ofstream(other_home / path) << "added\n";
      expected_after.insert(path);
      for (fs::path folder = fs::path(path).parent_path(); !folder.empty();
           folder = folder.parent_path())
        expected_after.insert(folder.string() + "/");
    }
    const TRun listed =
        run({"/usr/bin/env", "-i", "-C", fWork, "HOME=" + other_home.string(),
             "PATH=" + (prefix / "bin").string() + ":/usr/bin:/bin", "quillet", "-V", "song.ape"});
    EXPECT_NE(listed.out.find("tag library"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.exit_code, 0);

    const TRun removed = run({install_program, "uninstall", prefix});
    EXPECT_EQ(removed.exit_code, 0) << removed.err;
    EXPECT_EQ(tree(other_home), expected_after);
  }
  const TRun nothing = run({install_program, "uninstall", prefix});
  EXPECT_EQ(nothing.exit_code, 1);
  EXPECT_NE(nothing.err.find("Nothing to uninstall"), std::string::npos) << nothing.err;
}

}  // namespace
