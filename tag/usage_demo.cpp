// Prints the banner and the usage text with the dictionaries of the source tree, in the
// language that LC_ALL, LC_MESSAGES or LANG names, so that translators and reviewers can read
// the text as a user sees it.
#include <string>

#include "option/console.h"
#include "option/startup.h"
#include "platform/locale/blocale.h"
#include "tag/tag_option.h"

int main() {
  const std::string folder = QUILLET_DICTIONARIES_DIR;
  be_locale->LoadLanguageFile((folder + "/VornCommon").c_str());
  be_locale->LoadLanguageFile((folder + "/Quillet").c_str());
  TTagOption option;
  option.help = true;
  option.Calc();
  exp_app_info(option);
  exp_usage();
  return 0;
}
