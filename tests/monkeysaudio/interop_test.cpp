// What we read of the tags other software wrote, against mutagen. What other software reads of
// ours, the end-to-end tests check through the program.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "platform/monkeysaudio/file/tag_file.h"
#include "tests/monkeysaudio/test_support.h"

namespace {

// Every file other software wrote, in one pass: a Monkey's Audio file opens with its tag located
// so that a save may replace it, or is refused by a rule the README states; any other file is no
// Monkey's Audio file; and each shows what mutagen reads, within the rules of our listing (see
// differential_mutagen.py). Tags cut from other formats' files are tried after real audio.
TEST(Interop, EveryRealFileOpensAndShowsWhatMutagenReads) {
  SKIP_WITHOUT_FIXTURES();
  // Not Monkey's Audio: no magic, or a version before 3.80; and an old-layout version over
  // descriptor-layout fields (no channel, no sample rate).
  const std::set<std::string> refused = {"longloop.ape", "zerodiv.ape", "mediafile-oldape.ape"};
  // Where the stream starts, where its audio ends as far as the header and the seek table prove
  // it, and where the tag region begins: after an ID3v2 tag, before a tag, in the old layout.
  const std::map<std::string, std::array<uint64_t, 3>> placed = {
      {"mac-399-id3v2.ape", {3943, 89155, 89155}},
      {"mac-399-tagged.ape", {0, 85212, 85212}},
      {"mac-390-hdr.ape", {0, 124, 128}},
      {"atl-v394.ape", {0, 496996, 572806}}};
  TTempDir dir;
  const std::filesystem::path fixtures(QUILLET_FIXTURES_DIR);
  const TBytes audio = read_all((fixtures / "peer-suite/taglib-mac-399.ape").string());
  std::string paths;
  int opened = 0;
  for (const char* folder : {"wild", "peer-suite"}) {
    for (const auto& entry : std::filesystem::directory_iterator(fixtures / folder)) {
      const std::string name = entry.path().filename().string();
      const auto header = recognise_ape_image(read_all(entry.path().string()));
      if (entry.path().extension() != ".ape") {
        EXPECT_FALSE(header) << name;
        if (name.ends_with(".tail") || name.ends_with(".apev2")) {
          write_all(dir.File(name + ".ape"), audio + read_all(entry.path().string()));
          paths += " '" + dir.File(name + ".ape") + "'";
        }
        continue;
      }
      paths += " '" + entry.path().string() + "'";
      TTagFileView view;
      const int status = load_tag_file(entry.path().c_str(), true, &view);
      EXPECT_EQ(status, refused.count(name) ? kApeErrorInvalidFormat : kApeSuccess) << name;
      EXPECT_EQ(header.has_value(), status == kApeSuccess) << name;
      if (status != kApeSuccess) {
        continue;
      }
      // The file layer reads the header and the seek table as recognition on the whole image.
      EXPECT_EQ(view.header->last_frame_at, header->last_frame_at) << name;
      const uint64_t floor = audio_end_of(*view.header, view.file_size).tag_floor;
      EXPECT_EQ(view.region.trust, TTagTrust::kTrusted) << name;
      EXPECT_EQ(view.region.has_ape, view.region.start < view.region.tail_start) << name;
      if (placed.count(name)) {
        EXPECT_EQ((std::array{view.header->magic_offset, floor, view.region.start}),
                  placed.at(name))
            << name;
      }
      ++opened;
    }
  }
  EXPECT_GE(opened, 30);
  if (std::system("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") != 0) {
    GTEST_SKIP() << "python3-mutagen is not installed";
  }
  // The comparison prints each file that differs and the counts, and exits 1 on any difference.
  const std::string compare = std::string("/usr/bin/python3 ") + QUILLET_SOURCE_DIR +
                              "/tests/monkeysaudio/differential_mutagen.py " + QUILLET_BINARY_DIR +
                              "/tests/monkeysaudio/print_fields --files" + paths;
  EXPECT_EQ(std::system(compare.c_str()), 0);
}

}  // namespace
