#include "platform/monkeysaudio/tag_file.h"

#include <gtest/gtest.h>

#include "platform/monkeysaudio/save_copy.h"
#include "platform/monkeysaudio/test_support.h"

namespace {

// A 1 GiB file (sparse) whose last bytes are a tag: reading and saving it must touch only its
// two ends.
TEST(TagFile, CostDoesNotGrowWithTheFile) {
  TTempDir dir;
  const std::string path = dir.File("large.ape");
  const uint64_t size = 1ull << 30;
  write_all(path, read_all(fixture("mutagen/mac-390-hdr.ape")));  // old layout: no audio end
  std::filesystem::resize_file(path, size);
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "big"}}, false), kApeSuccess);

  io_counters() = {};
  TTagFileView view;
  ASSERT_EQ(load_tag_file(path.c_str(), true, &view), kApeSuccess);
  EXPECT_EQ(view.region.items, (std::vector<TApeItem>{{"Title", 0, "big"}}));
  EXPECT_LE(io_counters().bytes_read, 64u << 10);

  io_counters() = {};
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "b"}}, false), kApeSuccess);
  // The block twice (its copy and its place) and the copy's trailer.
  EXPECT_LE(io_counters().bytes_written,
            2 * render_ape_tag({{"Title", 0, "b"}}).size() + kSaveTrailerBytes);
  EXPECT_EQ(std::filesystem::file_size(path), size + render_ape_tag({{"Title", 0, "b"}}).size());
}

}  // namespace
