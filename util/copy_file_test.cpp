#include "util/copy_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "platform/storage/attribute_test_folder.h"

namespace {

namespace fs = std::filesystem;
using Attributes = std::map<std::string, std::string>;

void set_attributes(const std::string& path, const Attributes& attributes) {
  for (const auto& [name, value] : attributes)
    ASSERT_EQ(setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0), 0) << name;
}

// Every attribute the kernel lists, whatever its namespace, with its value.
Attributes attributes_of(const std::string& path) {
  Attributes attributes;
  std::string names(65536, '\0'), value(65536, '\0');
  names.resize(static_cast<size_t>(
      std::max<ssize_t>(0, listxattr(path.c_str(), names.data(), names.size()))));
  for (size_t i = 0; i < names.size(); i += strlen(&names[i]) + 1)
    attributes[&names[i]] = value.substr(
        0, std::max<ssize_t>(0, getxattr(path.c_str(), &names[i], value.data(), value.size())));
  return attributes;
}

// Works in its folder with relative names, so that a name's first byte is the argument's.
class CopyFileTest : public testing::Test {
 protected:
  void SetUp() override {
    if (fFolder.Path().empty())
      GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
    fSavedFolder = fs::current_path();
    fs::current_path(fFolder.Path());
    fs::create_directories("from");
    fs::create_directories("to");
    write_test_file(kSource, "audio data");
  }
  void TearDown() override {
    if (!fSavedFolder.empty())
      fs::current_path(fSavedFolder);
  }

  static constexpr const char* kSource = "from/song.ape";
  AttributeTestFolder fFolder;
  fs::path fSavedFolder;
};

// Each source holds its row's number as contents and as an attribute when it is copied.
TEST_F(CopyFileTest, DecidesTheTargetFromTheDestination) {
  fs::create_directory_symlink("to", "to_link");
  fs::create_hard_link(kSource, "to/hard_link.ape");
  write_test_file("from/pointed_at.ape", "old");
  fs::create_symlink("../from/pointed_at.ape", "to/link.ape");
  const struct {
    std::string source, destination, target;
  } cases[] = {
      {kSource, "to", "to/song.ape"},
      {kSource, "to_link", "to/song.ape"},
      {kSource, "to/renamed", "to/renamed"},
      {kSource, "to/link.ape", "from/pointed_at.ape"},  // written through, as cp does
      // The source itself, under any of its names, is left as it is.
      {kSource, kSource, kSource},
      {kSource, "from", kSource},
      {kSource, "to/hard_link.ape", kSource},
      // Names that a shell would act on: nothing runs, and every byte of the name is kept.
      {"it's \"$(touch marker)\".ape", "to", "to/it's \"$(touch marker)\".ape"},
      {"--help", "to", "to/--help"},
      {"\xff\xfe.ape", "to", "to/\xff\xfe.ape"},
  };
  int row = 0;
  for (const auto& c : cases) {
    const std::string number = std::to_string(++row);
    write_test_file(c.source, number);
    set_attributes(c.source, {{"user.row", number}});
    EXPECT_EQ(copy_file(c.source.c_str(), c.destination.c_str()), 0) << c.destination;
    EXPECT_EQ(read_test_file(c.target), number) << c.destination;
    EXPECT_EQ(attributes_of(c.target), (Attributes{{"user.row", number}})) << c.destination;
  }
  EXPECT_FALSE(fs::exists("marker") || fs::exists("to/marker"));
  EXPECT_TRUE(fs::is_symlink("to/link.ape"));
}

// User attributes byte for byte, up to the largest value the file system takes; where the tools
// allow, the source also has an ACL granting another user rwx (its group bits then show the
// ACL's mask) and, as root, a file capability, and neither travels. An existing target keeps
// its own permissions and the attributes the source lacks; a new one takes what cp gives it:
// the source's permission bits less the umask, set-user-ID dropped.
TEST_F(CopyFileTest, CopiesUserAttributesOnlyAndNeverWidensPermissions) {
  Attributes attributes = {{"user.empty", ""}, {"user.binary", std::string("\0\x01\xfe\xff\0", 5)}};
  set_attributes(kSource, attributes);
  ASSERT_EQ(chmod(kSource, 04751), 0);
  const bool acl = std::system("setfacl -m u:65534:rwx from/song.ape 2>/dev/null") == 0;
  const bool capability =
      geteuid() == 0 && std::system("setcap cap_net_raw=ep from/song.ape 2>/dev/null") == 0;
  SCOPED_TRACE(std::string(acl ? "with" : "without") + " an ACL, " +
               (capability ? "with" : "without") + " a capability");

  write_test_file("to/older.ape", "an older and much longer target file");
  ASSERT_EQ(chmod("to/older.ape", 0600), 0);
  set_attributes("to/older.ape", {{"user.empty", "from the old target"}, {"user.own", "kept"}});
  ASSERT_EQ(copy_file(kSource, "to/older.ape"), 0);
  EXPECT_EQ(read_test_file("to/older.ape"), "audio data");
  EXPECT_EQ(fs::status("to/older.ape").permissions(), fs::perms(0600));
  Attributes merged = attributes;
  merged["user.own"] = "kept";
  EXPECT_EQ(attributes_of("to/older.ape"), merged);

  // The largest value that still fits beside the others, onto a new target.
  std::string& large = attributes["user.large"];
  large.resize(largest_attribute_value(kSource, "user.large"));
  for (size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>(i % 251);
  set_attributes(kSource, {{"user.large", large}});
  const mode_t saved = umask(027);
  EXPECT_EQ(copy_file(kSource, "to"), 0);
  umask(saved);
  EXPECT_EQ(attributes_of("to/song.ape"), attributes);
  EXPECT_EQ(fs::status("to/song.ape").permissions(), fs::perms(0750));
}

// A target that cannot be opened, a dangling link named or found in the destination folder, or
// a path longer than the limit gives -1 with nothing written, and nothing where the link points;
// a missing source leaves an older target that still counts.
TEST_F(CopyFileTest, FailsOnlyWhenNoTargetOpens) {
  set_attributes(kSource, {{"user.a", "1"}});
  std::string deep = "deep";
  while (deep.size() + 251 <= static_cast<size_t>(kCopyTargetPathMax))
    deep += "/" + std::string(40, 'd');
  fs::create_directories(deep);
  const std::string too_long = deep + "/" + std::string(250, 'n');
  const std::string fits = deep + "/" + std::string(kCopyTargetPathMax - deep.size() - 1, 'f');
  write_test_file(too_long, "");
  write_test_file("to/older.ape", "older");
  set_attributes("to/older.ape", {{"user.own", "kept"}});
  fs::create_symlink("../from/pointed_at.ape", "to/dangling.ape");
  fs::create_directories("links");
  fs::create_symlink("../from/pointed_at.ape", "links/song.ape");
  const std::pair<const char*, std::string> failures[] = {
      {kSource, "missing_folder/song.ape"},
      {kSource, too_long},
      {kSource, "from/song.ape/below_a_file"},
      {kSource, ""},
      {nullptr, fits},
      {"from/missing.ape", "to"},
      {kSource, "to/dangling.ape"},
      {kSource, "links"},
  };
  for (const auto& [source, destination] : failures)
    EXPECT_EQ(copy_file(source, destination.c_str()), -1) << destination;
  EXPECT_EQ(copy_file(kSource, nullptr), -1);
  EXPECT_FALSE(fs::exists("missing_folder") || fs::exists("to/missing.ape") ||
               fs::exists("from/pointed_at.ape"));
  EXPECT_EQ(fs::file_size(too_long), 0u);
  EXPECT_TRUE(attributes_of(too_long).empty());
  EXPECT_EQ(copy_file(kSource, fits.c_str()), 0);
  EXPECT_EQ(read_test_file(fits), "audio data");
  EXPECT_EQ(copy_file("from/missing.ape", "to/older.ape"), 0);
  EXPECT_EQ(read_test_file("to/older.ape"), "older");
  EXPECT_EQ(attributes_of("to/older.ape"), (Attributes{{"user.own", "kept"}}));
}

}  // namespace
