#include "option/startup.h"

#include "codec/lib_monkeys_audio.h"
#include "identity/identity.h"
#include "option/console.h"

int startup(const TOption& option, float lowest_version) {
  try {
    exp_app_info(option);
    if (load_lib_monkeys_audio(&gAppPrivacy.lib_image) != 0) {
      exp_err_load_lib_monkeys_audio();
      throw -1;
    }
    if (get_lib_monkeys_audio_entries(gAppPrivacy.lib_image) != 0) {
      exp_err_get_lib_monkeys_audio_entries();
      throw -1;
    }
    exp_lma_info(option);
    if (check_lib_monkeys_audio_version(lowest_version) != 0) {
      exp_err_check_lib_monkeys_audio_version();
      throw -1;
    }
    if (option.help) {
      exp_usage();
      throw -1;
    }
  } catch (...) {
    return -1;
  }
  return 0;
}
