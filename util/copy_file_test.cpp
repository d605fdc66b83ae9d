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
  for (ssize_t i = 0; i < size; i += static_cast<ssize_t>(strlen(&names[i])) + 1) {
    std::string name = &names[i];
    if (name.rfind("user.", 0) != 0) {
      continue;
    }
    std::vector<char> value(65536);
    ssize_t length = getxattr(path.c_str(), name.c_str(), value.data(), value.size());
    attributes[name] = std::string(value.data(), static_cast<size_t>(std::max<ssize_t>(length, 0)));
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
  struct Case {
    std::string destination;
    std::string target;
  } cases[] = {
      {fFolder / "to/", fFolder / "to/song.ape"},
      {fFolder / "to", fFolder / "to/song.ape"},
      {fFolder / "to_link", fFolder / "to/song.ape"},
      {fFolder / "to/renamed.ape", fFolder / "to/renamed.ape"},
      {fFolder / "to/no_extension", fFolder / "to/no_extension"},
  };
  for (const Case& c : cases) {
    fs::remove(c.target);
    EXPECT_EQ(copy_file(fSource.c_str(), c.destination.c_str()), 0) << c.destination;
    EXPECT_EQ(read_test_file(c.target), "audio data") << c.destination;
    // The source has no attributes, and the copy gets none.
    EXPECT_TRUE(user_attributes(c.target).empty()) << c.destination;
  }
}

// Names that a shell would act on: nothing may run, and every byte of the name is kept.
TEST_F(CopyFileTest, CopiesHostileNamesWithoutRunningAnything) {
  const std::string names[] = {
      "quote\"d.ape",
      "$(touch marker1).ape",
      "`touch marker2`.ape",
      "back\\slash.ape",
      "new\nline.ape",
      "-leading-dash.ape",
      "--help",
      "\xff\xfe\x81.ape",
      "semi;touch marker3",
      "$HOME and 'single'",
      "glob*?[x].ape",
      " blank ",
  };
  EnterFolder();
  for (const std::string& name : names) {
    const std::string contents = "contents of " + name;
    write_test_file(name, contents);
    set_attributes(name, {{"user.name", name}});
    // Relative, so that a leading dash is the first byte of the argument.
    EXPECT_EQ(copy_file(name.c_str(), "to"), 0) << name;
    EXPECT_EQ(copy_file(name.c_str(), ("to/copy " + name).c_str()), 0) << name;
    for (const std::string& copy : {"to/" + name, "to/copy " + name}) {
      EXPECT_EQ(read_test_file(copy), contents) << copy;
      EXPECT_EQ(user_attributes(copy), (Attributes{{"user.name", name}})) << copy;
    }
  }
  for (const char* marker : {"marker1", "marker2", "marker3", "to/marker1", "to/marker2"}) {
    EXPECT_FALSE(fs::exists(fFolder / marker)) << marker;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(fFolder / "to"), fs::directory_iterator()),
            2 * static_cast<long>(std::size(names)));
}

TEST_F(CopyFileTest, CopiesEveryAttributeByteForByte) {
  Attributes attributes = {
      {"user.empty", ""},
      {"user.text", "Artist"},
      {"user.binary", std::string("\0\x01\xfe\xff\0", 5)},
  };
  set_attributes(fSource, attributes);
  // The largest value that still fits beside the others.
  std::string large(largest_attribute_value(fSource, "user.large"), '\0');
  for (size_t i = 0; i < large.size(); ++i) {
    large[i] = static_cast<char>(i % 251);
  }
  attributes["user.large"] = large;
  set_attributes(fSource, {{"user.large", large}});
  ASSERT_EQ(copy_file(fSource.c_str(), (fFolder / "to").c_str()), 0);
  EXPECT_EQ(user_attributes(fFolder / "to/song.ape"), attributes);
  EXPECT_EQ(user_attributes(fSource), attributes);
}

TEST_F(CopyFileTest, OverwritesTheTargetAndMergesItsAttributes) {
  set_attributes(fSource, {{"user.shared", "from source"}, {"user.source_only", "s"}});
  const std::string target = fFolder / "to/old.ape";
  write_test_file(target, "an older and much longer target file");
  set_attributes(target, {{"user.shared", "from the old target, longer"}, {"user.own", "kept"}});
  ASSERT_EQ(copy_file(fSource.c_str(), target.c_str()), 0);
  EXPECT_EQ(read_test_file(target), "audio data");
  EXPECT_EQ(user_attributes(target),
            (Attributes{
                {"user.shared", "from source"}, {"user.source_only", "s"}, {"user.own", "kept"}}));
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
      fFolder / "missing_folder/song.ape",
      fFolder / "missing_folder/",
      deepFolder + "/" + longName,  // longer than a target may be, though it exists
      fSource + "/below_a_file",
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
  EXPECT_EQ(copy_file(fSource.c_str(), ""), -1);
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
  for (const std::string& destination :
       {fSource, fFolder / "from", fFolder / "from/", fFolder / "to/hard_link.ape"}) {
    EXPECT_EQ(copy_file(fSource.c_str(), destination.c_str()), 0) << destination;
    EXPECT_EQ(read_test_file(fSource), "audio data") << destination;
  }
  EXPECT_EQ(user_attributes(fSource), (Attributes{{"user.a", "1"}}));
}

TEST_F(CopyFileTest, NewTargetTakesTheSourcePermissionsExistingKeepsItsOwn) {
  const std::string existing = fFolder / "to/existing.ape";
  write_test_file(existing, "");
  ASSERT_EQ(chmod(existing.c_str(), 0600), 0);
  ASSERT_EQ(chmod(fSource.c_str(), 04751), 0);
  mode_t saved = umask(027);
  EXPECT_EQ(copy_file(fSource.c_str(), (fFolder / "to/new.ape").c_str()), 0);
  EXPECT_EQ(copy_file(fSource.c_str(), existing.c_str()), 0);
  umask(saved);
  EXPECT_EQ(fs::status(fFolder / "to/new.ape").permissions(), fs::perms(0750));
  EXPECT_EQ(fs::status(existing).permissions(), fs::perms(0600));
}

}  // namespace
