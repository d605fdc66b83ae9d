// The installed program as a user runs it: every test installs the build into a HOME of its
// own, makes or copies an audio file there, runs ~/.local/bin/quillet and compares the whole
// output, the exit code and the file's bytes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"
#include "tests/end_to_end_support.h"

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

// Field name -> text; a field left out is empty.
using TFields = std::map<std::string, std::string>;

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fHome = folder_template;
    fWork = fHome / "work";
    fs::create_directories(fWork);
    TRun install = run_program(QUILLET_CMAKE_COMMAND,
                               {"--install", QUILLET_BINARY_DIR, "--prefix", Prefix().string()},
                               {{"PATH", "/usr/bin:/bin"}}, fHome);
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    UseLanguage("C.UTF-8");
  }
  void TearDown() override {
    for (const auto& entry : fs::recursive_directory_iterator(fHome)) {
      if (!entry.is_symlink()) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
      }
    }
    fs::remove_all(fHome);
  }

  fs::path Prefix() const { return fHome / ".local"; }
  fs::path Library() const { return Prefix() / "lib/libMonkeysAudio.so"; }

  // The language of the next runs, and of the texts the expectations are built from.
  void UseLanguage(const std::string& lang) {
    fLang = lang;
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang.c_str(), 1);
    fLocale = std::make_unique<BLocale>();
    const fs::path folder = Prefix() / "lib/quillet/Language/Dictionaries";
    fLocale->LoadLanguageFile((folder / "VornCommon").c_str());
    fLocale->LoadLanguageFile((folder / "Quillet").c_str());
  }
  std::string T(const char* key) const { return fLocale->GetString(key); }

  std::string Header(const std::string& file_name) const {
    BString header(T("Tag file: %FileNameAPE%").c_str());
    header.ReplaceAll("%FileNameAPE%", file_name.c_str());
    return header.Text() + "\n";
  }
  std::string Listing(const TFields& fields = {}) const {
    std::string text;
    for (const char* field : {"Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"}) {
      auto found = fields.find(field);
      text += T((std::string(field) + ": ").c_str()) +
              (found == fields.end() ? "" : found->second) + "\n";
    }
    return text;
  }
  std::string Error(const char* key) const { return T("ERROR: ") + T(key) + "\n"; }
  std::string LibraryError(const char* key) const {
    BString message(T(key).c_str());
    message.ReplaceAll("%FileName%", "libMonkeysAudio.so");
    return T("ERROR: ") + message.Text() + "\n";
  }
  std::string Banner() const { return "\nQuillet    Ver 1.30\n" + BannerCredit() + "\n"; }
  // The credit line, as the running program prints it (its wording is the identity's).
  std::string BannerCredit() const {
    TRun run = Quillet({"-V"});
    size_t start = run.out.find('\n', 1) + 1;
    return run.out.substr(start, run.out.find('\n', start) + 1 - start);
  }
  std::string LibraryInfo() const {
    void* library = dlopen(Library().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      return "<no library>";
    }
    auto text = [library](const char* name) {
      auto entry = reinterpret_cast<const char* (*)()>(dlsym(library, name));
      return std::string(entry ? entry() : "<missing>");
    };
    std::string info = text("lib_monkeys_audio_name") + "    " + text("lib_monkeys_audio_version") +
                       "\n" + text("lib_monkeys_audio_copyright") + "\n" +
                       text("lib_monkeys_audio_components") + "\n\n";
    dlclose(library);
    return info;
  }

  TRun Quillet(const Arguments& arguments, const std::string& program = "") const {
    return run_program(program.empty() ? (Prefix() / "bin/quillet").string() : program, arguments,
                       {{"HOME", fHome.string()}, {"PATH", "/usr/bin:/bin"}, {"LANG", fLang}},
                       fWork);
  }

  fs::path MakeSample(const std::string& name) const {
    TRun made = run_program(MAKE_SAMPLE_APE, {name, "100K"}, {}, fWork);
    EXPECT_EQ(made.exit_code, 0) << made.err;
    return fWork / name;
  }

  fs::path fHome;
  fs::path fWork;
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
  const std::string after = read_file(file);
  EXPECT_EQ(after.substr(0, tag_region_start(after)), audio);
}

TEST_F(EndToEnd, OnlyAFileNameListsAndChangesNothing) {
  const fs::path file = MakeSample("plain.ape");
  const std::string before = read_file(file);
  EXPECT_RUN(Quillet({"plain.ape"}), Header("plain.ape") + Listing(), 0);
  EXPECT_EQ(read_file(file), before);
}

TEST_F(EndToEnd, JapaneseTextRoundTripsInEverySet) {
  const fs::path file = MakeSample("jp.ape");
  const TFields written{
      {"Title", "春の海"},      {"Artist", "宮城道雄"}, {"Album", "箏曲 ～ 第一集"},
      {"Comment", "テスト: ①"}, {"Year", "1929"},       {"Genre", "邦楽"},
      {"Track", "1/12"}};
  const Arguments fields{"-T=" + written.at("Title"), "-A=" + written.at("Artist"),
                         "-L=" + written.at("Album"), "-C=" + written.at("Comment"),
                         "-Y=" + written.at("Year"),  "-G=" + written.at("Genre"),
                         "-R=" + written.at("Track")};
  Arguments utf8 = fields;
  utf8.push_back("jp.ape");
  EXPECT_RUN(Quillet(utf8), Header("jp.ape") + Listing(written), 0);
  EXPECT_EQ(mutagen_items(file),
            "Album=箏曲 ～ 第一集\nArtist=宮城道雄\nComment=テスト: ①\nGenre=邦楽\n"
            "Title=春の海\nTrack=1/12\nYear=1929\n");

  // Stored in Shift-JIS, read back by detection and by naming the set. ① exists in CP932.
  Arguments sjis = utf8;
  sjis.push_back("-CS=S");
  EXPECT_RUN(Quillet(sjis), Header("jp.ape") + Listing(written), 0);
  EXPECT_RUN(Quillet({"jp.ape"}), Header("jp.ape") + Listing(written), 0);
  EXPECT_EQ(mutagen_items(file).substr(0, 6), "error:");  // not UTF-8: mutagen refuses it

  // JIS has neither ① nor the full-width tilde: each becomes the substitute byte.
  Arguments jis = utf8;
  jis.push_back("-cs=j");
  TFields jis_back = written;
  jis_back["Album"] = "箏曲 \x1a 第一集";
  jis_back["Comment"] = "テスト: \x1a";
  EXPECT_RUN(Quillet(jis), Header("jp.ape") + Listing(jis_back), 0);
  EXPECT_RUN(Quillet({"jp.ape"}), Header("jp.ape") + Listing(jis_back), 0);
}

TEST_F(EndToEnd, HelpShowsBannerAndUsageOnly) {
  const fs::path file = MakeSample("song.ape");
  const std::string before = read_file(file);
  const TRun help_with_file = Quillet({"-?", "song.ape"});
  for (const Arguments& arguments :
       {Arguments{"-?", "song.ape"}, Arguments{"--help"}, Arguments{}, Arguments{"-T=Song"}}) {
    TRun run = Quillet(arguments);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, help_with_file.out);
    EXPECT_EQ(run.err, "");
  }
  const std::string& out = help_with_file.out;
  EXPECT_EQ(out.substr(0, Banner().size()), Banner());
  EXPECT_NE(out.find(T("=== Usage ===") + "\n"), std::string::npos);
  const std::string example =
      "  Quillet MyApe.ape -Title=Seasons -Artist=\"Jack and Ken\" -Charset=UTF-8\n\n";
  EXPECT_EQ(out.substr(out.size() - example.size()), example);
  EXPECT_EQ(out.find(Header("song.ape")), std::string::npos);
  EXPECT_EQ(out.find(LibraryInfo()), std::string::npos);
  EXPECT_EQ(read_file(file), before);

  // With -V as well, the library's texts come between banner and usage.
  TRun verbose_help = Quillet({"-?", "-V"});
  EXPECT_EQ(verbose_help.out, Banner() + LibraryInfo() + out.substr(Banner().size()));
}

TEST_F(EndToEnd, VerboseShowsTheLibraryThenWorks) {
  MakeSample("song.ape");
  EXPECT_RUN(Quillet({"-V", "song.ape"}), Banner() + LibraryInfo() + Header("song.ape") + Listing(),
             0);
  EXPECT_NE(LibraryInfo().find("Ver 1.40"), std::string::npos);
}

TEST_F(EndToEnd, FailuresPrintOnStandardOutputAndChangeNothing) {
  const fs::path sample = MakeSample("song.ape");
  std::ofstream(fWork / "notes.ape") << "These are not Monkey's Audio bytes.\n";
  fs::copy_file(sample, fWork / "locked.ape");
  fs::permissions(fWork / "locked.ape", fs::perms(0444));
  fs::create_directory(fWork / "folder.ape");

  struct Case {
    Arguments arguments;
    std::string file;
    std::string expected;
    int code;
  };
  const Case cases[] = {
      {{"notes.ape"}, "notes.ape", Header("notes.ape") + Error("@Err_Access_Failed@"), 1},
      {{"-T=x", "missing.ape"}, "", Header("missing.ape") + Error("@Err_Access_Failed@"), 1},
      {{"folder.ape"}, "", Header("folder.ape") + Error("@Err_Access_Failed@"), 1},
      {{"-T=Title", "locked.ape"},
       "locked.ape",
       Header("locked.ape") + Error("@Err_Cannot_Write_Tag@"),
       1},
      {{"locked.ape"}, "locked.ape", Header("locked.ape") + Listing(), 0},
      {{"-X=1", "song.ape"}, "song.ape", "", 1},
      {{"-CS=latin1", "-T=x", "song.ape"}, "song.ape", "", 1},
  };
  for (const Case& c : cases) {
    const std::string before = c.file.empty() ? "" : read_file(fWork / c.file);
    TRun run = Quillet(c.arguments);
    if (c.expected.empty()) {  // a parse error: one error line naming the argument
      EXPECT_EQ(run.out.substr(0, T("ERROR: ").size()), T("ERROR: ")) << c.arguments[0];
      EXPECT_NE(run.out.find(c.arguments[0]), std::string::npos) << run.out;
      EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    } else {
      EXPECT_EQ(run.out, c.expected) << c.arguments[0];
    }
    EXPECT_EQ(run.exit_code, c.code) << c.arguments[0];
    EXPECT_EQ(run.err, "") << c.arguments[0];
    if (!c.file.empty()) {
      EXPECT_EQ(read_file(fWork / c.file), before) << c.arguments[0];
    }
  }
  EXPECT_FALSE(fs::exists(fWork / "missing.ape"));
}

TEST_F(EndToEnd, ReadOnlyFileStillTakesTheRemovalBeforeTheWriteFails) {
  const fs::path file = MakeSample("locked.ape");
  ASSERT_EQ(Quillet({"-T=Old", "locked.ape"}).exit_code, 0);
  fs::permissions(file, fs::perms(0444));
  TRun run = Quillet({"-REMOVEALL", "-T=New", "locked.ape"});
  EXPECT_EQ(run.out, Header("locked.ape") + Error("@Err_Cannot_Write_Tag@"));
  EXPECT_EQ(run.exit_code, 1);
  // Whether the removal reached the file depends on whether this user may write it anyway.
  const std::string items = mutagen_items(file);
  EXPECT_EQ(items, getuid() == 0 ? "" : "Title=Old\n");
}

TEST_F(EndToEnd, EveryLoaderFailureStopsTheRun) {
  const fs::path file = MakeSample("song.ape");
  const std::string before = read_file(file);
  struct Case {
    const char* what;
    const char* library;  // null: none installed
    Arguments arguments;
    std::string expected;
  };
  const std::string info_139 =
      "Fake Monkey's Audio    Ver 1.39\nCopyright nobody, for tests\nEntry points only\n\n";
  const Case cases[] = {
      {"no library",
       nullptr,
       {"-T=x", "song.ape"},
       LibraryError("@Err_Load_Lib_Monkeys_Audio %FileName%@")},
      {"no library, help",
       nullptr,
       {"-?"},
       Banner() + LibraryError("@Err_Load_Lib_Monkeys_Audio %FileName%@")},
      {"an entry missing",
       FAKE_LMA_NO_VERIFY,
       {"song.ape"},
       LibraryError("@Err_Get_Lib_Monkeys_Audio_Entries %FileName%@")},
      {"too old",
       FAKE_LMA_139,
       {"song.ape"},
       LibraryError("@Err_Check_Lib_Monkeys_Audio_Version %FileName%@")},
      {"too old, verbose",
       FAKE_LMA_139,
       {"-V", "song.ape"},
       Banner() + info_139 + LibraryError("@Err_Check_Lib_Monkeys_Audio_Version %FileName%@")},
  };
  for (const Case& c : cases) {
    fs::remove(Library());
    if (c.library != nullptr) {
      fs::copy_file(c.library, Library());
    }
    EXPECT_RUN(Quillet(c.arguments), c.expected, 1);
    EXPECT_EQ(read_file(file), before) << c.what;
  }
  // Beside the program does not count either.
  fs::copy_file(QUILLET_BINARY_DIR "/platform/monkeysaudio/libMonkeysAudio.so",
                Prefix() / "lib/quillet/libMonkeysAudio.so");
  fs::remove(Library());
  EXPECT_RUN(Quillet({"song.ape"}), LibraryError("@Err_Load_Lib_Monkeys_Audio %FileName%@"), 1);
}

TEST_F(EndToEnd, WithoutDictionariesKeysPrintAsThemselves) {
  MakeSample("song.ape");
  fs::remove_all(Prefix() / "lib/quillet/Language");
  EXPECT_RUN(Quillet({"song.ape"}),
             "Tag file: song.ape\nTitle: \nArtist: \nAlbum: \nComment: \nYear: \nGenre: \n"
             "Track: \n",
             0);
  EXPECT_RUN(Quillet({"other.ape"}), "Tag file: other.ape\nERROR: @Err_Access_Failed@\n", 1);
  EXPECT_RUN(Quillet({"-Q", "song.ape"}), "ERROR: @Err_Unknown_Option -Q@\n", 1);
}

TEST_F(EndToEnd, SpeaksJapaneseWhenTheUserDoes) {
  MakeSample("song.ape");
  const std::string english = Quillet({"nothing.ape"}).out;
  UseLanguage("ja_JP.UTF-8");
  TRun run = Quillet({"-T=題名", "song.ape"});
  EXPECT_RUN(run, Header("song.ape") + Listing({{"Title", "題名"}}), 0);
  TRun failure = Quillet({"nothing.ape"});
  EXPECT_EQ(failure.out, Header("nothing.ape") + Error("@Err_Access_Failed@"));
  EXPECT_NE(failure.out, english);  // the Japanese dictionary was really used
}

TEST_F(EndToEnd, FileNamesReachTheLibraryExactlyAsTyped) {
  const std::vector<std::string> names = {"with space.ape", "it's \"quoted\".ape", "日本語の曲.ape",
                                          "caf\xe9-latin1.ape"};
  for (const std::string& name : names) {
    MakeSample(name);
    for (const std::string& typed : {name, "./" + name, (fWork / name).string()}) {
      EXPECT_RUN(Quillet({"-T=ok", typed}), Header(typed) + Listing({{"Title", "ok"}}), 0);
    }
    EXPECT_EQ(mutagen_items(fWork / name), "Title=ok\n");
  }
  // Through a symbolic link: the link is followed to the file.
  fs::create_symlink("with space.ape", fWork / "link.ape");
  EXPECT_RUN(Quillet({"-A=linked", "link.ape"}),
             Header("link.ape") + Listing({{"Title", "ok"}, {"Artist", "linked"}}), 0);
  EXPECT_EQ(mutagen_items(fWork / "with space.ape"), "Artist=linked\nTitle=ok\n");
}

TEST_F(EndToEnd, FilesWrittenByOtherSoftwareKeepEverythingButTheNewFields) {
  const fs::path peers = fs::path(QUILLET_FIXTURES_DIR) / "peers";
  const std::vector<fs::path> fixtures = {
      peers / "taglib/mac-399.ape",       peers / "taglib/mac-399-tagged.ape",
      peers / "taglib/mac-399-id3v2.ape", peers / "taglib/mac-390-hdr.ape",
      peers / "mutagen/mac-396.ape",      peers / "mutagen/mac-399.ape"};
  for (const fs::path& fixture : fixtures) {
    const fs::path copy = fWork / fixture.filename();
    fs::remove(copy);
    fs::copy_file(fixture, copy);
    fs::permissions(copy, fs::perms(0644));
    const std::string before = read_file(copy);
    const std::string items_before = mutagen_items(copy);

    TRun run = Quillet({"-T=ひばり", "-Artist=Jack and Ken", copy.filename().string()});
    EXPECT_EQ(run.exit_code, 0) << fixture << run.out;
    EXPECT_EQ(run.out.substr(0, Header(copy.filename()).size()), Header(copy.filename()));

    const std::string after = read_file(copy);
    const size_t audio_end = tag_region_start(before);
    EXPECT_EQ(after.substr(0, audio_end), before.substr(0, audio_end)) << fixture;
    // What mutagen saw before, with the two fields replaced (other key spellings kept).
    std::string expected;
    std::map<std::string, std::string> items;
    std::istringstream lines(items_before);
    for (std::string line; std::getline(lines, line);) {
      const std::string key = line.substr(0, line.find('='));
      std::string upper = key;
      for (char& c : upper) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      }
      if (upper != "TITLE" && upper != "ARTIST") {
        items[key] = line;
      }
    }
    items["Title"] = "Title=ひばり";
    items["Artist"] = "Artist=Jack and Ken";
    for (const auto& [key, line] : items) {
      expected += line + "\n";
    }
    EXPECT_EQ(mutagen_items(copy), expected) << fixture;
  }
}

TEST_F(EndToEnd, TheBuildTreeProgramFindsItsDictionaries) {
  MakeSample("song.ape");
  UseLanguage("ja_JP.UTF-8");
  EXPECT_RUN(Quillet({"song.ape"}, QUILLET_BUILD_PROGRAM), Header("song.ape") + Listing(), 0);
}

}  // namespace
