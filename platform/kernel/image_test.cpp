#include "platform/kernel/image.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder_template[] = "/tmp/quillet-image-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    fFolder = folder_template;
  }
  void TearDown() override { std::system(("rm -rf '" + fFolder + "'").c_str()); }

  std::string fFolder;
};

TEST_F(ImageTest, LoadsBindsAndUnloadsAnAddOn) {
  image_id image = load_add_on(KERNEL_TEST_ADDON);
  ASSERT_GE(image, 0);

  void* function = nullptr;
  ASSERT_EQ(get_image_symbol(image, "addon_answer", B_SYMBOL_TYPE_TEXT, &function), B_OK);
  EXPECT_EQ(reinterpret_cast<int (*)()>(function)(), 42);

  void* data = nullptr;
  ASSERT_EQ(get_image_symbol(image, "gAddonAnswer", B_SYMBOL_TYPE_DATA, &data), B_OK);
  EXPECT_EQ(*static_cast<int*>(data), 42);
  void* any = nullptr;
  EXPECT_EQ(get_image_symbol(image, "gAddonAnswer", B_SYMBOL_TYPE_ANY, &any), B_OK);
  EXPECT_EQ(any, data);

  EXPECT_EQ(unload_add_on(image), B_OK);
  EXPECT_EQ(unload_add_on(image), B_BAD_VALUE);
  void* stale = nullptr;
  EXPECT_EQ(get_image_symbol(image, "addon_answer", B_SYMBOL_TYPE_TEXT, &stale), B_BAD_VALUE);
  EXPECT_EQ(stale, nullptr);

  // A reload gets a new id, so the old one stays dead.
  image_id again = load_add_on(KERNEL_TEST_ADDON);
  ASSERT_GE(again, 0);
  EXPECT_NE(again, image);
  EXPECT_EQ(unload_add_on(again), B_OK);
}

TEST_F(ImageTest, SymbolLookupFailuresLeaveTheLocationAlone) {
  image_id image = load_add_on(KERNEL_TEST_ADDON);
  ASSERT_GE(image, 0);
  struct Case {
    const char* name;
    int32 type;
    status_t expected;
  };
  const Case cases[] = {
      {"no_such_symbol", B_SYMBOL_TYPE_ANY, B_ENTRY_NOT_FOUND},
      {"gAddonAnswer", B_SYMBOL_TYPE_TEXT, B_ENTRY_NOT_FOUND},  // data asked for as text
      {"addon_answer", B_SYMBOL_TYPE_DATA, B_ENTRY_NOT_FOUND},  // text asked for as data
      {"puts", B_SYMBOL_TYPE_TEXT, B_ENTRY_NOT_FOUND},          // the C library's, not the add-on's
      {"addon_answer", 3, B_BAD_VALUE},
      {nullptr, B_SYMBOL_TYPE_TEXT, B_BAD_VALUE},
  };
  for (const Case& c : cases) {
    void* location = &image;
    EXPECT_EQ(get_image_symbol(image, c.name, c.type, &location), c.expected)
        << (c.name ? c.name : "(null)") << " type " << c.type;
    EXPECT_EQ(location, &image);
  }
  EXPECT_EQ(get_image_symbol(image, "addon_answer", B_SYMBOL_TYPE_TEXT, nullptr), B_BAD_VALUE);
  EXPECT_EQ(get_image_symbol(-1, "addon_answer", B_SYMBOL_TYPE_TEXT, nullptr), B_BAD_VALUE);
  EXPECT_EQ(unload_add_on(image), B_OK);
}

TEST_F(ImageTest, LoadFailuresAreNegative) {
  const std::string text_file = fFolder + "/libText.so";
  ASSERT_EQ(std::system(("echo not a library > '" + text_file + "'").c_str()), 0);

  EXPECT_EQ(load_add_on(nullptr), B_BAD_VALUE);
  EXPECT_EQ(load_add_on(""), B_BAD_VALUE);
  EXPECT_EQ(load_add_on((fFolder + "/missing.so").c_str()), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(load_add_on(text_file.c_str()), B_ERROR);
  EXPECT_EQ(load_add_on(fFolder.c_str()), B_ERROR);
  // A bare name is a file in the current folder, never one found on the library search path.
  ASSERT_EQ(chdir(fFolder.c_str()), 0);
  EXPECT_EQ(load_add_on("libc.so.6"), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(unload_add_on(-5), B_BAD_VALUE);
}

}  // namespace
