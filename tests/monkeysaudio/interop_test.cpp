// What other software reads of our tags, and what we read of theirs: mutagen for both ways,
// ffprobe for reading.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/file/tag_file.h"
#include "tests/monkeysaudio/test_support.h"

namespace {

// Runs `command` through the shell and returns its standard output, or "<failed>". Paths passed
// here come from our own temporary folders.
std::string run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  char chunk[4096];
  while (size_t got = pipe ? fread(chunk, 1, sizeof chunk, pipe.get()) : 0) {
    out.append(chunk, got);
  }
  return pipe && pclose(pipe.release()) == 0 ? out : "<failed>";
}

std::string mutagen(const std::string& arguments) {
  return run(std::string("/usr/bin/python3 ") + QUILLET_SOURCE_DIR +
             "/tests/monkeysaudio/interop_mutagen.py " + arguments);
}

bool have_mutagen() {
  return run("/usr/bin/python3 -c 'import mutagen'") != "<failed>";
}

std::string fetch(const TTagFields& fields, const std::string& key) {
  char buffer[2048];
  int size = sizeof buffer;
  fields.Fetch(key.c_str(), buffer, &size);
  return buffer;
}

const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語
const std::string kLong(3000, 'L');

// Other software reads exactly what we write (mutagen behind an ID3v1 tail; ffprobe, which does
// not look behind one, on a file without), and we read what mutagen adds.
TEST(Interop, MutagenAndFfprobeReadOurTagsAndWeReadMutagens) {
  SKIP_WITHOUT_FIXTURES();
  if (!have_mutagen() || run("ffprobe -version") == "<failed>") {
    GTEST_SKIP() << "python3-mutagen or ffprobe is not installed";
  }
  TTempDir dir;
  const std::string plain = dir.File("plain.ape");
  const std::string path = dir.File("song.ape");
  const TBytes audio = read_all(fixture("taglib/mac-399.ape"));
  const std::vector<TApeItem> items = {
      {"Title", 0, kJapanese}, {"Comment", 0, kLong}, {"Year", 0, "2002"}};
  write_all(plain, audio);
  write_all(path, audio + id3v1_bytes("kept"));
  ASSERT_EQ(save_tag_file(plain.c_str(), true, items, false), kApeSuccess);
  ASSERT_EQ(save_tag_file(path.c_str(), true, items, false), kApeSuccess);
  const std::string out =
      run("ffprobe -v error -show_entries format_tags -of flat '" + plain + "'");
  EXPECT_NE(out.find("format.tags.Title=\"" + kJapanese + "\""), std::string::npos) << out;
  EXPECT_NE(out.find("format.tags.Comment=\"" + kLong + "\""), std::string::npos) << out;
  EXPECT_EQ(mutagen("read '" + path + "'"),
            "{\"Title\": [\"\\u65e5\\u672c\\u8a9e\"], \"Comment\": [\"" + kLong +
                "\"], \"Year\": [\"2002\"]}");

  ASSERT_NE(mutagen("write '" + path + "' '{\"Artist\": \"" + kJapanese +
                    "\", \"Genre\": [\"Rock\", \"Pop\"]}'"),
            "<failed>");
  TTagFileView view;
  ASSERT_EQ(load_tag_file(path.c_str(), true, &view), kApeSuccess);
  const TTagFields fields(view.region.items);
  for (const auto& [key, expected] : {std::pair<const char*, std::string>{"ARTIST", kJapanese},
                                      {"genre", "Rock; Pop"},
                                      {"Title", kJapanese}}) {
    EXPECT_EQ(fetch(fields, key), expected) << key;
  }
}

// Every tagged file from other software that our library opens shows what mutagen reads, within
// the rules of our listing (see differential_mutagen.py). Tags cut from other formats' files are
// tried after real audio.
TEST(Interop, WeShowWhatMutagenReadsInFilesFromOtherSoftware) {
  SKIP_WITHOUT_FIXTURES();
  if (!have_mutagen()) {
    GTEST_SKIP() << "python3-mutagen is not installed";
  }
  TTempDir dir;
  const std::filesystem::path fixtures(QUILLET_FIXTURES_DIR);
  const TBytes audio = read_all((fixtures / "peer-suite/taglib-mac-399.ape").string());
  std::string paths;
  for (const char* folder : {"wild", "peer-suite"}) {
    for (const auto& entry : std::filesystem::directory_iterator(fixtures / folder)) {
      const auto extension = entry.path().extension();
      if (extension == ".ape") {
        paths += " '" + entry.path().string() + "'";
      } else if (extension == ".tail" || extension == ".apev2") {
        const std::string grafted = dir.File(entry.path().filename().string() + ".ape");
        write_all(grafted, audio + read_all(entry.path().string()));
        paths += " '" + grafted + "'";
      }
    }
  }
  const std::string out = run(std::string("/usr/bin/python3 ") + QUILLET_SOURCE_DIR +
                              "/tests/monkeysaudio/differential_mutagen.py " + QUILLET_BINARY_DIR +
                              "/tests/monkeysaudio/print_fields --files" + paths);
  EXPECT_NE(out.find("fields differ: 0"), std::string::npos) << out;
  std::printf("%s", out.c_str());
}

}  // namespace
