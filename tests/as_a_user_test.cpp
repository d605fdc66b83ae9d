// The installed program as people start it: by name through PATH from a folder of their own, as
// an ordinary user, in Japanese, and beside a Language folder that is not the program's.
#include <regex>

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

// Started by name from a folder that holds an entry of the program's name and a Language folder
// of its own, the program speaks from its own dictionaries in the user's language, exactly as
// when started by its path. A path with a "/" still means the file it names.
TEST_F(AsAUser, StartedByNameSpeaksFromItsOwnDictionaries) {
  const fs::path elsewhere = fHome / "elsewhere";
  const fs::path installed = Prefix() / "lib/quillet";
  plant_dictionaries(Dictionaries(), elsewhere);
  fs::copy_file(installed / "quillet", elsewhere / "quillet");
  fs::copy_file(MakeTitled("song.ape", "Seasons"), elsewhere / "song.ape");

  std::vector<std::string> missing_by_language;
  for (const std::string lang : {"C.UTF-8", "ja_JP.UTF-8"}) {
    UseLanguage(lang);
    for (const Arguments& arguments :
         {Arguments{"-?"}, Arguments{"missing.ape"}, Arguments{"song.ape"}}) {
      SCOPED_TRACE(lang + " " + arguments.front());
      const TRun by_name = Run(arguments, "quillet", elsewhere);
      const TRun by_path = Run(arguments, installed / "quillet", elsewhere);
      EXPECT_EQ(by_name.out, by_path.out);
      EXPECT_EQ(by_name.exit_code, by_path.exit_code);
      EXPECT_EQ(by_name.out.find("HIJACKED"), std::string::npos) << by_name.out;
      EXPECT_EQ(by_name.out.find('@'), std::string::npos) << by_name.out;  // no bare keys
    }
    const TRun missing = Run({"missing.ape"}, "quillet", elsewhere);
    EXPECT_EQ(missing.out, Header("missing.ape") + Error("@Err_Access_Failed@"));
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(Run({"song.ape"}, "quillet", elsewhere).out,
              Header("song.ape") + Listing({{"Title", "Seasons"}}));
    missing_by_language.push_back(missing.out);
  }
  EXPECT_NE(missing_by_language[0], missing_by_language[1]);  // Japanese was really spoken
  UseLanguage("C.UTF-8");

  // Started by a path, the program's folder is the one the path names, links followed: the copy
  // reads the planted dictionaries beside it, a link to the installed program does not.
  fs::create_symlink(installed / "quillet", elsewhere / "linked");
  EXPECT_NE(Run({"-?"}, "./quillet", elsewhere).out.find("HIJACKED"), std::string::npos);
  EXPECT_EQ(Run({"-?"}, "./linked", elsewhere).out,
            Run({"-?"}, installed / "quillet", elsewhere).out);
  // A path that leads nowhere gives no folder: then no dictionary is read at all, and the keys
  // show, rather than whatever the current folder holds.
  const TRun lost =
      Run({"-c", "exec -a gone/quillet \"$0\" -?", installed / "quillet"}, "/bin/bash", elsewhere);
  EXPECT_EQ(lost.out.find("HIJACKED"), std::string::npos) << lost.out;
  EXPECT_NE(lost.out.find("@Tag_Overview Quillet@"), std::string::npos) << lost.out;
}

// An ordinary user writes their own writable files only. Their own read-only file is refused
// with an error; a file owned by someone else is listed unchanged with exit code 0, because a
// save the library refuses is not reported. Root alone clears a file its owner cannot write.
TEST_F(AsAUser, OrdinaryUserChangesOnlyWhatTheyMayWrite) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to make files of two owners and to drop to user " << kNobody;
  const struct {
    const char* name;
    uid_t owner;
    fs::perms mode;
  } files[] = {{"mine.ape", kNobody, fs::perms(0644)},
               {"mine_read_only.ape", kNobody, fs::perms(0444)},
               {"roots.ape", 0, fs::perms(0644)}};
  for (const auto& file : files) {
    const fs::path path = MakeTitled(file.name, "Old");
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
      {true, {"-T=New", "mine.ape"}, Listing({{"Title", "New"}}), 0, true},
      {true, {"-T=New", "mine_read_only.ape"}, Error("@Err_Cannot_Write_Tag@"), 1, false},
      {true, {"-REMOVEALL", "mine_read_only.ape"}, Listing({{"Title", "Old"}}), 0, false},
      {true, {"-T=New", "roots.ape"}, Listing({{"Title", "Old"}}), 0, false},
      {true, {"-REMOVEALL", "roots.ape"}, Listing({{"Title", "Old"}}), 0, false},
      {false, {"-T=New", "mine_read_only.ape"}, Error("@Err_Cannot_Write_Tag@"), 1, false},
      {false, {"-REMOVEALL", "mine_read_only.ape"}, Listing(), 0, true},
  };
  for (const auto& c : cases) {
    const std::string& name = c.arguments.back();
    SCOPED_TRACE((c.as_nobody ? "nobody " : "root ") + c.arguments.front() + " " + name);
    const std::string before = read_file(fWork / name);
    const TRun done = Run(c.arguments, "quillet", "", c.as_nobody);
    EXPECT_EQ(done.out, Header(name) + c.expected);
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

}  // namespace
