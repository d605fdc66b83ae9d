#include "util/copy_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/storage/attribute_test_folder.h"

namespace {

namespace fs = std::filesystem;

using Attributes = std::map<std::string, std::string>;

void set_attributes(const std::string& path, const Attributes& attributes) {
  for (const auto& [name, value] : attributes) {
    ASSERT_EQ(setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0), 0) << name;
  }
}

Attributes user_attributes(const std::string& path) {
  Attributes attributes;
  std::vector<char> names(65536);
  ssize_t size = listxattr(path.c_str(), names.data(), names.size());
  std::vector<char> value(65536);
  for (ssize_t i = 0; i < size; i += static_cast<ssize_t>(strlen(&names[i])) + 1) {
    if (strncmp(&names[i], "user.", 5) != 0)
      continue;
    ssize_t length = getxattr(path.c_str(), &names[i], value.data(), value.size());
    attributes[&names[i]] =
        std::string(value.data(), static_cast<size_t>(std::max<ssize_t>(length, 0)));
  }
  return attributes;
}

class CopyFileTest : public testing::Test {
 protected:
  void SetUp() override {
    if (fFolder.Path().empty()) {
      GTEST_SKIP() << AttributeTestFolder::kSkipMessage;
    }
    fs::create_directories(fFolder / "from");
    fs::create_directories(fFolder / "to");
    fSource = fFolder / "from/song.ape";
    write_test_file(fSource, "audio data");
  }
  void TearDown() override {
    if (!fSavedCwd.empty()) {
      EXPECT_EQ(chdir(fSavedCwd.c_str()), 0);
    }
  }
  void EnterFolder() {
    fSavedCwd = fs::current_path().string();
    ASSERT_EQ(chdir(fFolder.Path().c_str()), 0);
  }

  AttributeTestFolder fFolder;
  std::string fSource;
  std::string fSavedCwd;
};

TEST_F(CopyFileTest, DecidesTheTargetFromTheDestination) {
  fs::create_directory_symlink(fFolder / "to", fFolder / "to_link");
  const std::pair<std::string, std::string> cases[] = {
      {fFolder / "to/", fFolder / "to/song.ape"},
      {fFolder / "to", fFolder / "to/song.ape"},
      {fFolder / "to_link", fFolder / "to/song.ape"},
      {fFolder / "to/renamed", fFolder / "to/renamed"},
  };
  for (const auto& [destination, target] : cases) {
    fs::remove(target);
    EXPECT_EQ(copy_file(fSource.c_str(), destination.c_str()), 0) << destination;
    EXPECT_EQ(read_test_file(target), "audio data") << destination;
    // The source has no attributes, and the copy gets none.
    EXPECT_TRUE(user_attributes(target).empty()) << destination;
  }
}

// Names that a shell would act on: nothing may run, and every byte of the name is kept.
TEST_F(CopyFileTest, CopiesHostileNamesWithoutRunningAnything) {
  const std::string names[] = {"quote\"d.ape",
                               "$(touch marker1).ape",
                               "`touch marker2`.ape",
                               "new\nline.ape",
                               "--help",
                               "\xff\xfe\x81.ape",
                               "semi;touch marker3",
                               " $HOME and 'single' \\ *?[x] "};
  EnterFolder();
  for (const std::string& name : names) {
    write_test_file(name, "contents of " + name);
    set_attributes(name, {{"user.name", name}});
    // Relative, so that a leading dash is the first byte of the argument.
    EXPECT_EQ(copy_file(name.c_str(), "to"), 0) << name;
    EXPECT_EQ(copy_file(name.c_str(), ("to/copy " + name).c_str()), 0) << name;
    for (const std::string& copy : {"to/" + name, "to/copy " + name}) {
      EXPECT_EQ(read_test_file(copy), "contents of " + name) << copy;
      EXPECT_EQ(user_attributes(copy), (Attributes{{"user.name", name}})) << copy;
    }
  }
  for (const char* marker : {"marker1", "marker2", "marker3", "to/marker1", "to/marker2"}) {
    EXPECT_FALSE(fs::exists(fFolder / marker)) << marker;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(fFolder / "to"), fs::directory_iterator()),
            2 * static_cast<long>(std::size(names)));
}

// Every attribute byte for byte. An existing target keeps its own permissions and the
// attributes the source lacks; a new one takes the source's permissions less the umask.
TEST_F(CopyFileTest, CopiesEveryAttributeOntoExistingAndNewTargets) {
  Attributes attributes = {{"user.empty", ""}, {"user.binary", std::string("\0\x01\xfe\xff\0", 5)}};
  set_attributes(fSource, attributes);
  ASSERT_EQ(chmod(fSource.c_str(), 04751), 0);
  const std::string older = fFolder / "to/older.ape";
  write_test_file(older, "an older and much longer target file");
  ASSERT_EQ(chmod(older.c_str(), 0600), 0);
  set_attributes(older, {{"user.empty", "from the old target"}, {"user.own", "kept"}});
  ASSERT_EQ(copy_file(fSource.c_str(), older.c_str()), 0);
  EXPECT_EQ(read_test_file(older), "audio data");
  EXPECT_EQ(fs::status(older).permissions(), fs::perms(0600));
  Attributes merged = attributes;
  merged["user.own"] = "kept";
  EXPECT_EQ(user_attributes(older), merged);

  // The largest value that still fits beside the others.
  std::string large(largest_attribute_value(fSource, "user.large"), '\0');
  for (size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>(i % 251);
  attributes["user.large"] = large;
  set_attributes(fSource, {{"user.large", large}});
  mode_t saved = umask(027);
  EXPECT_EQ(copy_file(fSource.c_str(), (fFolder / "to").c_str()), 0);
  umask(saved);
  EXPECT_EQ(user_attributes(fFolder / "to/song.ape"), attributes);
  EXPECT_EQ(user_attributes(fSource), attributes);
  EXPECT_EQ(fs::status(fFolder / "to/song.ape").permissions(), fs::perms(0750));
}

TEST_F(CopyFileTest, FailsWhenTheTargetCannotBeOpened) {
  set_attributes(fSource, {{"user.a", "1"}});
  const std::string longName(250, 'n');
  std::string deepFolder = fFolder.Path();
  while (deepFolder.size() + 1 + longName.size() <= static_cast<size_t>(kCopyTargetPathMax)) {
    deepFolder += "/" + std::string(40, 'd');
  }
  fs::create_directories(deepFolder);
  write_test_file(deepFolder + "/" + longName, "");
  const std::string cases[] = {
      fFolder / "missing_folder/song.ape", fFolder / "missing_folder/",
      deepFolder + "/" + longName,  // longer than a target may be, though it exists
      fSource + "/below_a_file",           "",
  };
  for (const std::string& destination : cases) {
    EXPECT_EQ(copy_file(fSource.c_str(), destination.c_str()), -1) << destination;
  }
  EXPECT_FALSE(fs::exists(fFolder / "missing_folder"));
  EXPECT_EQ(fs::file_size(deepFolder + "/" + longName), 0u);
  EXPECT_TRUE(user_attributes(deepFolder + "/" + longName).empty());
  // A target path just within the limit is copied.
  const std::string fits =
      deepFolder + "/" + std::string(kCopyTargetPathMax - deepFolder.size() - 1, 'f');
  ASSERT_EQ(fits.size(), static_cast<size_t>(kCopyTargetPathMax));
  EXPECT_EQ(copy_file(fSource.c_str(), fits.c_str()), 0);
  EXPECT_EQ(read_test_file(fits), "audio data");
  EXPECT_EQ(copy_file(nullptr, fits.c_str()), -1);
  EXPECT_EQ(copy_file(fSource.c_str(), nullptr), -1);
}

TEST_F(CopyFileTest, MissingSourceLeavesAnOlderTargetThatStillCounts) {
  const std::string missing = fFolder / "from/missing.ape";
  EXPECT_EQ(copy_file(missing.c_str(), (fFolder / "to").c_str()), -1);
  EXPECT_FALSE(fs::exists(fFolder / "to/missing.ape"));
  const std::string older = fFolder / "to/older.ape";
  write_test_file(older, "older");
  set_attributes(older, {{"user.own", "kept"}});
  EXPECT_EQ(copy_file(missing.c_str(), older.c_str()), 0);
  EXPECT_EQ(read_test_file(older), "older");
  EXPECT_EQ(user_attributes(older), (Attributes{{"user.own", "kept"}}));
}

TEST_F(CopyFileTest, CopyOntoItselfKeepsTheSource) {
  set_attributes(fSource, {{"user.a", "1"}});
  fs::create_hard_link(fSource, fFolder / "to/hard_link.ape");
  for (const std::string& destination : {fSource, fFolder / "from", fFolder / "to/hard_link.ape"}) {
    EXPECT_EQ(copy_file(fSource.c_str(), destination.c_str()), 0) << destination;
    EXPECT_EQ(read_test_file(fSource), "audio data") << destination;
  }
  EXPECT_EQ(user_attributes(fSource), (Attributes{{"user.a", "1"}}));
}

}  // namespace
