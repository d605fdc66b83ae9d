#include "platform/support/console_stream.h"

#include "identity/identity.h"
#include "option/common_options.h"
#include "option/console.h"
#include "option/option_scan.h"
#include "option/startup.h"

namespace {

struct TUsageLine {
  const char* key;
  const char* long_name;
  const char* short_name;
};

constexpr TUsageLine kOptionLines[] = {
    {"@Usage_Title %Option1% %Option2%@", "-TITLE", "-T"},
    {"@Usage_Artist %Option1% %Option2%@", "-ARTIST", "-A"},
    {"@Usage_Album %Option1% %Option2%@", "-ALBUM", "-L"},
    {"@Usage_Comment %Option1% %Option2%@", "-COMMENT", "-C"},
    {"@Usage_Year %Option1% %Option2%@", "-YEAR", "-Y"},
    {"@Usage_Genre %Option1% %Option2%@", "-GENRE", "-G"},
    {"@Usage_Track %Option1% %Option2%@", "-TRACK", "-R"},
    {"@Usage_Char_Set %Option1% %Option2%@", "-CHARSET", "-CS"},
};

}  // namespace

// The tag tool's usage text, 22 lines: overview, command form, every option with its long and
// short name, the character-set names, the common options and one example.
void exp_usage() {
  console::cout << make_message("@Tag_Overview %AppName%@", {{"%AppName%", gAppName}})
                << console::endl;
  console::cout << console::endl;
  console::cout << make_message("=== Usage ===") << console::endl;
  console::cout << make_message("@Tag_Cmd_Format@") << console::endl;
  console::cout << console::endl;
  console::cout << make_message("Option (Case insensitive):") << console::endl;
  for (const TUsageLine& line : kOptionLines) {
    console::cout << "  "
                  << make_message(line.key, {{"%Option1%", capitalize(line.long_name)},
                                             {"%Option2%", line.short_name}})
                  << console::endl;
  }
  console::cout << "    "
                << make_message(
                       "@Usage_Char_Set_Detail %OptionA1% %OptionA2% %OptionB1% %OptionB2% "
                       "%OptionC1% %OptionC2%@",
                       {{"%OptionA1%", "JIS"},
                        {"%OptionA2%", "J"},
                        {"%OptionB1%", "SHIFT-JIS"},
                        {"%OptionB2%", "S"},
                        {"%OptionC1%", "UTF-8"},
                        {"%OptionC2%", "U"}})
                << console::endl;
  console::cout << "  "
                << make_message("@Usage_Remove_All %Option%@",
                                {{"%Option%", capitalize("-REMOVEALL")}})
                << console::endl;
  exp_usage_common_opt();
  console::cout << console::endl;
  console::cout << make_message("Example:") << console::endl;
  console::cout << "  Quillet MyApe.ape " << capitalize("-TITLE") << "=Seasons "
                << capitalize("-ARTIST") << "=\"Jack and Ken\" " << capitalize("-CHARSET") << "="
                << "UTF-8" << console::endl;
  console::cout << console::endl;
}
