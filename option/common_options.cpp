#include "option/common_options.h"

#include "platform/support/console_stream.h"

#include "option/console.h"
#include "option/option_scan.h"

int init_option_map_common(TOptionMap* map) {
  (*map)["-HELP"] = kOptionHelp;
  (*map)["-?"] = kOptionHelp;
  (*map)["--HELP"] = kOptionHelp;
  (*map)["-VERBOSE"] = kOptionVerbose;
  (*map)["-V"] = kOptionVerbose;
  return 0;
}

int32 parse_opt_common(int32 id, const std::string& argument, TOption* option) {
  switch (id) {
    case kOptionHelp:
      option->help = true;
      return 0;
    case kOptionVerbose:
      option->verbose = true;
      return 0;
    default:
      exp_err(make_message("@Err_Unknown_Option %Option%@", {{"%Option%", argument}}));
      return -1;
  }
}

void exp_usage_common_opt() {
  console::cout << "  "
                << make_message("@Usage_Help %Option1% %Option2%@",
                                {{"%Option1%", capitalize("-HELP")}, {"%Option2%", "-?"}})
                << console::endl;
  console::cout << "  "
                << make_message("@Usage_Verbose %Option1% %Option2%@",
                                {{"%Option1%", capitalize("-VERBOSE")}, {"%Option2%", "-V"}})
                << console::endl;
}
