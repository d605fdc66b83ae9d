#include "util/path.h"

#include <cstdint>

namespace {

// Positions of "." and "/" are compared as signed 32-bit numbers, so an absent one (npos)
// counts as -1 and lies before every real position.
int32_t signed_position(std::string::size_type position) {
  return static_cast<int32_t>(position);
}

// True when the last "." lies after the last "/": the file name has an extension.
bool has_extension(const std::string& path, std::string::size_type* dot) {
  *dot = path.rfind('.');
  return signed_position(*dot) > signed_position(path.rfind('/'));
}

}  // namespace

std::string extract_file_name(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) {
    return path;
  }
  return path.substr(slash + 1);
}

std::string extract_file_folder_path_kernel(const std::string& path, int count) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) {
    return std::string();
  }
  const int64_t length = static_cast<int64_t>(slash) + count;
  if (length <= 0) {
    return std::string();
  }
  return path.substr(0, static_cast<std::string::size_type>(length));
}

std::string extract_file_ext(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos) {
    return std::string();
  }
  return path.substr(dot + 1);
}

std::string extract_file_body(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
  std::string::size_type end = path.rfind('.');
  if (end == std::string::npos || end < start) {
    end = path.size();
  }
  return path.substr(start, end - start);
}

std::string add_ext(const std::string& path, const std::string& ext) {
  std::string::size_type dot;
  if (has_extension(path, &dot)) {
    return path;
  }
  std::string result;
  result.reserve(path.size() + 1 + ext.size());
  result.append(path).append(1, '.').append(ext);
  return result;
}

std::string reext(const std::string& path, const std::string& ext) {
  std::string::size_type dot;
  std::string result;
  if (has_extension(path, &dot)) {
    result.reserve(dot + 1 + ext.size());
    result.append(path, 0, dot + 1);
  } else {
    result.reserve(path.size() + 1 + ext.size());
    result.append(path).append(1, '.');
  }
  result.append(ext);
  return result;
}

std::string trim(const std::string& text) {
  const std::string::size_type first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return std::string();
  }
  const std::string::size_type last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

int detect_cr_type(const char* text) {
  std::size_t line_feeds = 0;
  std::size_t carriage_returns = 0;
  if (text == nullptr) {
    return kLineEndLf;
  }
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') {
      ++line_feeds;
    } else if (*p == '\r') {
      ++carriage_returns;
    }
  }
  if (line_feeds == carriage_returns && line_feeds != 0) {
    return kLineEndCrLf;
  }
  if (carriage_returns > line_feeds) {
    return kLineEndCr;
  }
  return kLineEndLf;
}
