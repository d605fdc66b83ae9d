#include "codec/lib_monkeys_audio.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include "platform/support/console_stream.h"

#include "identity/identity.h"
#include "option/option.h"
#include "platform/kernel/image.h"
#include "platform/locale/blocale.h"
#include "platform/storage/find_directory.h"
#include "platform/support/bstring.h"

namespace lma {
lib_monkeys_audio_text_t lib_monkeys_audio_name = nullptr;
lib_monkeys_audio_text_t lib_monkeys_audio_version = nullptr;
lib_monkeys_audio_text_t lib_monkeys_audio_copyright = nullptr;
lib_monkeys_audio_text_t lib_monkeys_audio_components = nullptr;
create_iapedecompress_t create_iapedecompress = nullptr;
create_capetag_1_t create_capetag_1 = nullptr;
create_capetag_2_t create_capetag_2 = nullptr;
destroy_capetag_t destroy_capetag = nullptr;
compress_file_t compress_file = nullptr;
decompress_file_t decompress_file = nullptr;
verify_file_t verify_file = nullptr;
}  // namespace lma

namespace {

template <typename Function>
bool bind_entry(long image, const char* name, Function* pointer) {
  void* address = nullptr;
  if (get_image_symbol(static_cast<image_id>(image), name, B_SYMBOL_TYPE_TEXT, &address) != B_OK) {
    return false;
  }
  *pointer = reinterpret_cast<Function>(address);
  return true;
}

void exp_err_library(const char* key) {
  BString message(be_locale->GetString(key));
  message.ReplaceAll("%FileName%", kLibMonkeysAudioFileName);
  console::cout << be_locale->GetString("ERROR: ") << message.String() << console::endl;
}

const char* text_of(lib_monkeys_audio_text_t entry) {
  const char* text = entry != nullptr ? entry() : nullptr;
  return text != nullptr ? text : "";
}

}  // namespace

std::string path_name_user_lib_monkeys_audio() {
  BPath folder;
  if (find_directory_r(B_USER_LIB_DIRECTORY, &folder, false, nullptr) != B_OK) {
    return std::string();
  }
  return std::string(folder.Path()) + "/" + kLibMonkeysAudioFileName;
}

std::string path_name_package_lib_monkeys_audio() {
  const std::string program_folder = gAppPrivacy.ExePath();
  if (program_folder.empty()) {
    return std::string();
  }
  return program_folder + kPackageLibraryFolder + "/" + kLibMonkeysAudioFileName;
}

std::string path_name_lib_monkeys_audio() {
  const std::string user = path_name_user_lib_monkeys_audio();
  if (!user.empty() && BEntry(user.c_str(), true).Exists()) {
    return user;
  }
  const std::string package = path_name_package_lib_monkeys_audio();
  if (!package.empty() && BEntry(package.c_str(), true).Exists()) {
    return package;
  }
  return user;
}

int load_lib_monkeys_audio(long* image) {
  const std::string path = path_name_lib_monkeys_audio();
  *image = load_add_on(path.c_str());
  return *image < 0 ? -1 : 0;
}

int get_lib_monkeys_audio_entries(long image) {
  const bool bound =
      bind_entry(image, "create_capetag_1", &lma::create_capetag_1) &&
      bind_entry(image, "create_capetag_2", &lma::create_capetag_2) &&
      bind_entry(image, "destroy_capetag", &lma::destroy_capetag) &&
      bind_entry(image, "lib_monkeys_audio_components", &lma::lib_monkeys_audio_components) &&
      bind_entry(image, "lib_monkeys_audio_copyright", &lma::lib_monkeys_audio_copyright) &&
      bind_entry(image, "lib_monkeys_audio_name", &lma::lib_monkeys_audio_name) &&
      bind_entry(image, "lib_monkeys_audio_version", &lma::lib_monkeys_audio_version) &&
      bind_entry(image, "CompressFile", &lma::compress_file) &&
      bind_entry(image, "CreateIAPEDecompress", &lma::create_iapedecompress) &&
      bind_entry(image, "DecompressFile", &lma::decompress_file) &&
      bind_entry(image, "VerifyFile", &lma::verify_file);
  return bound ? 0 : -1;
}

int check_lib_monkeys_audio_version(float lowest) {
  if (lma::lib_monkeys_audio_version == nullptr) {
    return -1;
  }
  const char* text = lma::lib_monkeys_audio_version();
  if (text == nullptr || strnlen(text, 4) < 4) {
    return -1;
  }
  // The number is written with a "." whatever the user's locale says.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  const float version = static_cast<float>(strtod_l(text + 4, nullptr, c_locale));
  if (std::isnan(version) || version < lowest) {
    return -1;
  }
  return 0;
}

void unload_lib_monkeys_audio(long* image) {
  if (image == nullptr || *image < 0) {
    return;
  }
  unload_add_on(static_cast<image_id>(*image));
  *image = -1;
}

void exp_err_load_lib_monkeys_audio() {
  exp_err_library("@Err_Load_Lib_Monkeys_Audio %FileName%@");
}

void exp_err_get_lib_monkeys_audio_entries() {
  exp_err_library("@Err_Get_Lib_Monkeys_Audio_Entries %FileName%@");
}

void exp_err_check_lib_monkeys_audio_version() {
  exp_err_library("@Err_Check_Lib_Monkeys_Audio_Version %FileName%@");
}

void exp_lma_info(const TOption& option) {
  if (!option.lib_info) {
    return;
  }
  console::cout << text_of(lma::lib_monkeys_audio_name) << "    "
                << text_of(lma::lib_monkeys_audio_version) << console::endl;
  console::cout << text_of(lma::lib_monkeys_audio_copyright) << console::endl;
  console::cout << text_of(lma::lib_monkeys_audio_components) << console::endl;
  console::cout << console::endl;
}
