#include "platform/monkeysaudio/tag_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "platform/monkeysaudio/test_support.h"

namespace {

// A 1 GiB file (sparse) whose last bytes are a tag: reading and saving it must touch only its
// two ends.
TEST(TagFile, CostDoesNotGrowWithTheFile) {
  TTempDir dir;
  const std::string path = dir.File("large.ape");
  const TBytes header = read_all(fixture("mutagen/mac-390-hdr.ape"));  // old layout: no audio end
  const uint64_t size = 1ull << 30;
  {
    const TFileDescriptor file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(file.Truncate(size), 0);
    ASSERT_EQ(file.WriteAt(0, header), 0);
  }
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "big"}}, false), kApeSuccess);

  io_counters() = {};
  TTagFileView view;
  ASSERT_EQ(load_tag_file(path.c_str(), true, &view), kApeSuccess);
  EXPECT_EQ(view.region.items, (std::vector<TApeItem>{{"Title", 0, "big"}}));
  EXPECT_LE(io_counters().bytes_read, 64u << 10);

  io_counters() = {};
  ASSERT_EQ(save_tag_file(path.c_str(), true, {{"Title", 0, "b"}}, false), kApeSuccess);
  EXPECT_LE(io_counters().bytes_written, 2 * render_ape_tag({{"Title", 0, "b"}}).size());
  TFileDescriptor file;
  ASSERT_EQ(file.OpenRegular(path.c_str(), O_RDONLY), 0);
  uint64_t now = 0;
  ASSERT_EQ(file.Size(&now), 0);
  EXPECT_EQ(now, size + render_ape_tag({{"Title", 0, "b"}}).size());
}

}  // namespace
