// The tag tool's option table and its command-line parser.
#pragma once

#include "option/common_options.h"
#include "tag/tag_option.h"

// Sets the tool's 17 option names ("-TITLE", "-T", ... "-REMOVEALL") to their ids, then the
// common names of help and verbose. Returns 0.
int init_option_map(TOptionMap* map);

// Fills `option` from argv[1] .. argv[argc - 1]. Every argument that begins with "-" is an
// option (names case-insensitive, value after the first "=" or ":"); any other argument is
// the file name. For a repeated option or several file names the last one wins. Without a
// file name, help is set. Calc runs last.
// Returns 0 when the whole line was accepted. Returns -1 at the first unknown option or bad
// character-set value, after printing the error that names the argument as typed; the record
// then keeps what the earlier arguments set, and Calc has not run.
long parse_opt(int argc, const char* const argv[], TTagOption* option);
