// Path and text helpers shared by the family's console tools. Every function is pure and
// byte-oriented: "/", ".", blank, tab, LF and CR are recognised wherever they stand, inside
// multi-byte characters included. No function fails; every input has a defined result.
#pragma once

#include <string>

// Everything after the last "/", or the whole path when it holds none.
std::string extract_file_name(const std::string& path);

// The first (index of the last "/" + count) bytes, cut to the path's length: count 1 keeps the
// final "/", count 0 drops it. The empty string when the path holds no "/" (or when the length
// would be negative).
std::string extract_file_folder_path_kernel(const std::string& path, int count);

// Everything after the last "." of the whole path (not only of its file name), or "".
std::string extract_file_ext(const std::string& path);

// The file name without its last extension; a dot in a folder name is no extension.
std::string extract_file_body(const std::string& path);

// The path with "." + `ext` appended, unless the file name already holds a dot.
std::string add_ext(const std::string& path, const std::string& ext);

// The path with its last extension replaced by `ext`, or "." + `ext` appended when the file
// name has none.
std::string reext(const std::string& path, const std::string& ext);

// The text without leading and trailing blanks (0x20) and tabs (0x09); nothing else is removed.
std::string trim(const std::string& text);

// Line-end convention of a NUL-terminated text, decided by the counts of LF and CR alone.
enum : int {
  kLineEndLf = 0,    // LF, and the answer for a text without line ends
  kLineEndCrLf = 1,  // as many CRs as LFs, at least one
  kLineEndCr = 2,    // more CRs than LFs
};
int detect_cr_type(const char* text);
