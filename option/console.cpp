#include "option/console.h"

#include "platform/support/console_stream.h"

#include "identity/identity.h"
#include "platform/locale/blocale.h"
#include "platform/support/bstring.h"

std::string make_message(const char* key, std::initializer_list<TPlaceholder> values) {
  BString text(be_locale->GetString(key));
  for (const TPlaceholder& value : values) {
    text.ReplaceAll(value.first, value.second.c_str(), 0);
  }
  return text.Text();
}

void exp_err(const std::string& message) {
  // A message may quote a command-line argument, which can be a hostile file name.
  console::cout << be_locale->GetString("ERROR: ") << console::untrusted(message) << console::endl;
}

void exp_app_info(const TOption& option) {
  if (!option.verbose) {
    return;
  }
  BString credit(gCright);
  credit.ReplaceAll("%AppAuthor%", be_locale->GetString(gAppAuthorE), 0);
  console::cout << console::endl;
  console::cout << gAppName << "    " << gAppVer << console::endl;
  console::cout << credit.String() << console::endl;
  console::cout << console::endl;
}

void exp_progress(const char* key, int32 progress, int64 elapsed) {
  const int32 done = progress / 1000;
  int64 remain = 0;
  if (progress > 0) {
    remain = (elapsed / static_cast<int64>(progress)) / 10 - elapsed / 1000000;
  }
  const std::string text =
      make_message(key, {{"%Done%", std::to_string(done)}, {"%Remain%", std::to_string(remain)}});
  console::cout << '\r' << text << ' ' << console::flush;
}
