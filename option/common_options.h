// The options that every console tool of the family understands: help and verbose.
#pragma once

#include <map>
#include <string>

#include "option/option.h"
#include "platform/support/support_defs.h"

// Option name in upper case with its leading dash(es) -> option id. Id 0 is never stored: a
// lookup that finds nothing yields 0.
using TOptionMap = std::map<std::string, int32>;

enum : int32 {
  kOptionNone = 0,
  kOptionHelp = 1,
  kOptionVerbose = 2,
};

// Sets "-HELP", "-?", "--HELP" to kOptionHelp and "-VERBOSE", "-V" to kOptionVerbose,
// replacing any id those names had. Returns 0.
int init_option_map_common(TOptionMap* map);

// Acts on an option that is not the tool's own. kOptionHelp and kOptionVerbose set their flag
// and return 0; any other id prints the unknown-option error naming `argument` exactly as
// typed and returns -1, leaving the record unchanged.
int32 parse_opt_common(int32 id, const std::string& argument, TOption* option);

// The usage lines of help and verbose, each indented by two blanks.
void exp_usage_common_opt();
