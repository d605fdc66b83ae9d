// The start-up sequence that every console tool of the family runs once its command line is
// parsed: banner, codec library, library information, usage.
#pragma once

#include "option/option.h"

// Prints the banner (when verbose), loads and binds the codec library into
// gAppPrivacy.lib_image, prints the library's texts (when lib_info), checks that its version
// is at least `lowest_version`, and prints the usage text when help was asked for.
// Returns 0 when the tool may go on; -1 after it printed why not (the library's report) or
// after the usage text. Throws nothing. The library stays loaded either way: unloading it
// is the caller's work.
int startup(const TOption& option, float lowest_version);

// The tool's usage text. Every tool of the family defines it; startup calls it.
void exp_usage();
