#include "util/copy_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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

class CopyFileTest : public testing::Test {
 protected:
  void SetUp() override {
    if (fFolder.Path().empty())
      GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
    fs::create_directories(fFolder / "from");
    fs::create_directories(fFolder / "to");
    write_test_file(fSource, "audio data");
  }

  AttributeTestFolder fFolder;
  const std::string fSource = fFolder / "from/song.ape";
};

TEST_F(CopyFileTest, DecidesTheTargetFromTheDestination) {
  fs::create_directory_symlink(fFolder / "to", fFolder / "to_link");
  fs::create_hard_link(fSource, fFolder / "to/hard_link.ape");
  const std::pair<std::string, std::string> cases[] = {
      {fFolder / "to", fFolder / "to/song.ape"},
      {fFolder / "to_link", fFolder / "to/song.ape"},
      {fFolder / "to/renamed", fFolder / "to/renamed"},
      // The source itself, under any of its names, is left as it is.
      {fSource, fSource},
      {fFolder / "from", fSource},
      {fFolder / "to/hard_link.ape", fSource},
  };
  for (const auto& [destination, target] : cases) {
    if (target != fSource)
      fs::remove(target);
    EXPECT_EQ(copy_file(fSource.c_str(), destination.c_str()), 0) << destination;
    EXPECT_EQ(read_test_file(target), "audio data") << destination;
    EXPECT_TRUE(attributes_of(target).empty()) << destination;  // none to copy, none made
  }
}

// Names that a shell would act on: nothing may run, and every byte of the name is kept.
TEST_F(CopyFileTest, CopiesHostileNamesWithoutRunningAnything) {
  const std::string saved_folder = fs::current_path();
  ASSERT_EQ(chdir(fFolder.Path().c_str()), 0);
  // Relative, so that a leading dash is the first byte of the argument.
  for (const std::string name : {"it's \"$(touch marker)\".ape", "--help", "\xff\xfe.ape"}) {
    write_test_file(name, "contents of " + name);
    set_attributes(name, {{"user.name", name}});
    EXPECT_EQ(copy_file(name.c_str(), "to"), 0) << name;
    EXPECT_EQ(read_test_file("to/" + name), "contents of " + name);
    EXPECT_EQ(attributes_of("to/" + name), (Attributes{{"user.name", name}})) << name;
  }
  EXPECT_FALSE(fs::exists("marker") || fs::exists("to/marker"));
  EXPECT_EQ(chdir(saved_folder.c_str()), 0);
}

// User attributes byte for byte, up to the largest value the file system takes; where the tools
// allow, the source also has an ACL granting another user rwx (its group bits then show the
// ACL's mask) and, as root, a file capability, and neither travels. An existing target keeps
// its own permissions and the attributes the source lacks; a new one takes what cp gives it:
// the source's permission bits less the umask, set-user-ID dropped.
TEST_F(CopyFileTest, CopiesUserAttributesOnlyAndNeverWidensPermissions) {
  Attributes attributes = {{"user.empty", ""}, {"user.binary", std::string("\0\x01\xfe\xff\0", 5)}};
  set_attributes(fSource, attributes);
  ASSERT_EQ(chmod(fSource.c_str(), 04751), 0);
  const std::string quoted = "'" + fSource + "'";
  const bool acl = std::system(("setfacl -m u:65534:rwx " + quoted + " 2>/dev/null").c_str()) == 0;
  const bool capability =
      geteuid() == 0 &&
      std::system(("setcap cap_net_raw=ep " + quoted + " 2>/dev/null").c_str()) == 0;
  SCOPED_TRACE(std::string(acl ? "with" : "without") + " an ACL, " +
               (capability ? "with" : "without") + " a capability");

  const std::string older = fFolder / "to/older.ape";
  write_test_file(older, "an older and much longer target file");
  ASSERT_EQ(chmod(older.c_str(), 0600), 0);
  set_attributes(older, {{"user.empty", "from the old target"}, {"user.own", "kept"}});
  ASSERT_EQ(copy_file(fSource.c_str(), older.c_str()), 0);
  EXPECT_EQ(read_test_file(older), "audio data");
  EXPECT_EQ(fs::status(older).permissions(), fs::perms(0600));
  Attributes merged = attributes;
  merged["user.own"] = "kept";
  EXPECT_EQ(attributes_of(older), merged);

  // The largest value that still fits beside the others, onto a new target.
  std::string& large = attributes["user.large"];
  large.resize(largest_attribute_value(fSource, "user.large"));
  for (size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>(i % 251);
  set_attributes(fSource, {{"user.large", large}});
  const std::string by_cp = fFolder / "by_cp.ape";
  const mode_t saved = umask(027);
  EXPECT_EQ(copy_file(fSource.c_str(), (fFolder / "to").c_str()), 0);
  const int cp_status = std::system(("cp " + quoted + " '" + by_cp + "'").c_str());
  umask(saved);
  EXPECT_EQ(attributes_of(fFolder / "to/song.ape"), attributes);
  EXPECT_EQ(fs::status(fFolder / "to/song.ape").permissions(), fs::perms(0750));
  ASSERT_EQ(cp_status, 0);
  EXPECT_EQ(fs::status(by_cp).permissions(), fs::perms(0750));
}

// A target that cannot be opened, or whose path is longer than the limit, gives -1 with
// nothing written; a missing source leaves an older target that still counts.
TEST_F(CopyFileTest, FailsOnlyWhenNoTargetOpens) {
  set_attributes(fSource, {{"user.a", "1"}});
  std::string deep = fFolder.Path();
  while (deep.size() + 251 <= static_cast<size_t>(kCopyTargetPathMax))
    deep += "/" + std::string(40, 'd');
  fs::create_directories(deep);
  const std::string too_long = deep + "/" + std::string(250, 'n');
  const std::string fits = deep + "/" + std::string(kCopyTargetPathMax - deep.size() - 1, 'f');
  const std::string missing = fFolder / "from/missing.ape", older = fFolder / "to/older.ape";
  write_test_file(too_long, "");
  write_test_file(older, "older");
  set_attributes(older, {{"user.own", "kept"}});
  const std::pair<const char*, std::string> failures[] = {
      {fSource.c_str(), fFolder / "missing_folder/song.ape"},
      {fSource.c_str(), too_long},
      {fSource.c_str(), fSource + "/below_a_file"},
      {fSource.c_str(), ""},
      {nullptr, fits},
      {missing.c_str(), fFolder / "to"},
  };
  for (const auto& [source, destination] : failures)
    EXPECT_EQ(copy_file(source, destination.c_str()), -1) << destination;
  EXPECT_EQ(copy_file(fSource.c_str(), nullptr), -1);
  EXPECT_FALSE(fs::exists(fFolder / "missing_folder") || fs::exists(fFolder / "to/missing.ape"));
  EXPECT_EQ(fs::file_size(too_long), 0u);
  EXPECT_TRUE(attributes_of(too_long).empty());
  EXPECT_EQ(copy_file(fSource.c_str(), fits.c_str()), 0);
  EXPECT_EQ(read_test_file(fits), "audio data");
  EXPECT_EQ(copy_file(missing.c_str(), older.c_str()), 0);
  EXPECT_EQ(read_test_file(older), "older");
  EXPECT_EQ(attributes_of(older), (Attributes{{"user.own", "kept"}}));
}

// A dangling symbolic link as the target, named or found in the destination folder, is
// refused: nothing is created where it points.
TEST_F(CopyFileTest, RefusesToWriteThroughADanglingLink) {
  const std::string pointed = fFolder / "from/pointed_at.ape";
  fs::create_symlink(pointed, fFolder / "to/dangling.ape");
  fs::create_symlink(pointed, fFolder / "to/song.ape");
  for (const std::string& destination : {fFolder / "to/dangling.ape", fFolder / "to"}) {
    EXPECT_EQ(copy_file(fSource.c_str(), destination.c_str()), -1) << destination;
    EXPECT_FALSE(fs::exists(pointed)) << destination;
  }
  // A link to an existing file is written through, as cp does.
  write_test_file(pointed, "old");
  EXPECT_EQ(copy_file(fSource.c_str(), (fFolder / "to/dangling.ape").c_str()), 0);
  EXPECT_EQ(read_test_file(pointed), "audio data");
  EXPECT_TRUE(fs::is_symlink(fFolder / "to/dangling.ape"));
}

}  // namespace
