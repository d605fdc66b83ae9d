// Splitting command-line arguments of the form -NAME, -NAME=value or -NAME:value.
#pragma once

#include <string>

// The option name of `argument` in upper case, as the option maps store it: the part before
// the first "=" or ":". An argument that is empty or does not begin with "-" comes back
// unchanged (not upper-cased): it is a file name, not an option.
std::string extract_opt_name(const std::string& argument);

// Everything after the first "=" or ":" of `argument`, untouched (no trimming, no unquoting,
// later separators kept); empty when there is no separator.
std::string extract_opt_value(const std::string& argument);

// The mixed-case form in which usage text shows an option name: the first character keeps
// its case (the first two when the name begins with "-"), every later ASCII letter is
// lowered. "-TITLE" gives "-Title", "--HELP" gives "--help". A null name gives "".
std::string capitalize(const char* name);
