#include "option/option_scan.h"

#include <cstring>

namespace {

constexpr const char* kSeparators = "=:";

// ASCII only, so that the result does not depend on the process's locale.
char to_upper_ascii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char to_lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string extract_opt_name(const std::string& argument) {
  if (argument.empty() || argument[0] != '-') {
    return argument;
  }
  std::string name = argument.substr(0, argument.find_first_of(kSeparators));
  for (char& c : name) {
    c = to_upper_ascii(c);
  }
  return name;
}

std::string extract_opt_value(const std::string& argument) {
  const std::string::size_type separator = argument.find_first_of(kSeparators);
  if (separator == std::string::npos) {
    return std::string();
  }
  return argument.substr(separator + 1);
}

std::string capitalize(const char* name) {
  if (name == nullptr) {
    return std::string();
  }
  std::string result(name);
  const std::string::size_type kept = (!result.empty() && result[0] == '-') ? 2 : 1;
  for (std::string::size_type i = kept; i < result.size(); ++i) {
    result[i] = to_lower_ascii(result[i]);
  }
  return result;
}
