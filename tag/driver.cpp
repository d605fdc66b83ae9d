#include "tag/driver.h"

#include <memory>
#include <string>
#include "platform/support/console_stream.h"

#include "codec/lib_monkeys_audio.h"
#include "identity/identity.h"
#include "option/console.h"
#include "option/startup.h"
#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"
#include "tag/parse_opt.h"
#include "tag/tag_list.h"
#include "tag/tag_option.h"
#include "tag/tag_write.h"

namespace {

constexpr const char* kDictionaryFolder = "Language/Dictionaries";
constexpr float kLowestLibraryVersion = 1.4f;

// Without the executable's folder there is no place the dictionaries are known to be: a path
// relative to the current folder would read whatever lies there. The keys then print as
// themselves.
void load_dictionary(const char* name) {
  if (gAppPrivacy.ExePath().empty()) {
    return;
  }
  const std::string path = gAppPrivacy.ExePath() + kDictionaryFolder + "/" + name;
  be_locale->LoadLanguageFile(path.c_str());
}

// Prints the error line for `key` and ends the guarded region.
[[noreturn]] void fail(const char* key) {
  exp_err(std::string(be_locale->GetString(key)));
  throw -1;
}

}  // namespace

int tag_main(int argc, char* argv[]) {
  int error_code = 0;
  TTagOption option;
  std::unique_ptr<IAPEDecompress> decompressor;
  int result = 1;

  gAppPrivacy.AnalyzeExePath(argc > 0 ? argv[0] : nullptr);
  load_dictionary("VornCommon");
  load_dictionary("Quillet");

  try {
    if (parse_opt(argc, argv, &option) != 0) {
      throw -1;
    }
    if (startup(option, kLowestLibraryVersion) != 0) {
      throw -1;
    }
    // Printed before the file is opened, so that it also stands above an access error.
    // At a terminal the name is shown with its control bytes made visible; it is still opened
    // exactly as given.
    std::string visible_name;
    if (console::cout.IsTerminal()) {
      append_visible(option.file_name, &visible_name);
    }
    BString header(be_locale->GetString("Tag file: %FileNameAPE%"));
    header.ReplaceAll("%FileNameAPE%",
                      (visible_name.empty() ? option.file_name : visible_name).c_str(), 0);
    console::cout << header.String() << console::endl;

    decompressor.reset(lma::create_iapedecompress(option.file_name.c_str(), &error_code));
    if (decompressor == nullptr) {
      fail("@Err_Access_Failed@");
    }
    CAPETag* tag = reinterpret_cast<CAPETag*>(decompressor->QueryInfo(kApeInfoTag, 0, 0));
    if (tag == nullptr) {
      fail("@Err_Access_Failed@");
    }
    if (remove_tag(option, tag) != 0) {
      fail("@Err_Cannot_Remove_Tag@");
    }
    if (add_tag(option, tag) != 0) {
      fail("@Err_Cannot_Write_Tag@");
    }
    // Opens the file a second time while `decompressor` is still open.
    if (exp_tag(option) != 0) {
      fail("@Err_Cannot_Read_Tag@");
    }
    result = 0;
  } catch (...) {
    result = 1;
  }

  decompressor.reset();
  unload_lib_monkeys_audio(&gAppPrivacy.lib_image);
  return result;
}
