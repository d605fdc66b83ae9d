#include "platform/kernel/image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

TEST(Image, LoadsBindsAndUnloadsAnAddOnOrFailsNegative) {
  image_id image = load_add_on(KERNEL_TEST_ADDON);
  ASSERT_GE(image, 0);
  void* symbol = nullptr;
  ASSERT_EQ(get_image_symbol(image, "addon_answer", B_SYMBOL_TYPE_TEXT, &symbol), B_OK);
  EXPECT_EQ(reinterpret_cast<int (*)()>(symbol)(), 42);
  ASSERT_EQ(get_image_symbol(image, "gAddonAnswer", B_SYMBOL_TYPE_DATA, &symbol), B_OK);
  EXPECT_EQ(*static_cast<int*>(symbol), 42);

  // Failed look-ups leave the location alone.
  const std::tuple<const char*, int32, status_t> cases[] = {
      {"no_such_symbol", B_SYMBOL_TYPE_ANY, B_ENTRY_NOT_FOUND},
      {"gAddonAnswer", B_SYMBOL_TYPE_TEXT, B_ENTRY_NOT_FOUND},  // data asked for as text
      {"puts", B_SYMBOL_TYPE_TEXT, B_ENTRY_NOT_FOUND},          // the C library's, not the add-on's
      {"addon_answer", 3, B_BAD_VALUE},
      {nullptr, B_SYMBOL_TYPE_TEXT, B_BAD_VALUE},
  };
  for (const auto& [name, type, expected] : cases) {
    void* location = &image;
    EXPECT_EQ(get_image_symbol(image, name, type, &location), expected)
        << (name ? name : "(null)") << " type " << type;
    EXPECT_EQ(location, &image);
  }

  EXPECT_EQ(unload_add_on(image), B_OK);
  EXPECT_EQ(unload_add_on(image), B_BAD_VALUE);

  // A bare name is a file in the current folder, never one found on the library search path;
  // loaded again, the add-on gets a new id, so the old one stays dead.
  const std::filesystem::path addon = KERNEL_TEST_ADDON,
                              saved_folder = std::filesystem::current_path();
  std::filesystem::current_path(addon.parent_path());
  for (const auto& [path, status] : {std::pair{"", B_BAD_VALUE},
                                     {"missing.so", B_ENTRY_NOT_FOUND},
                                     {"CMakeFiles", B_ERROR},  // a folder is no library
                                     {"libc.so.6", B_ENTRY_NOT_FOUND}})
    EXPECT_EQ(load_add_on(path), status) << path;
  const image_id again = load_add_on(addon.filename().c_str());
  std::filesystem::current_path(saved_folder);
  EXPECT_NE(again, image);
  EXPECT_EQ(unload_add_on(again), B_OK);
}
