// Running programs and reading files for the end-to-end tests.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct TRun {
  std::string out;
  std::string err;
  int exit_code = -1;
};

// Runs `program` with `arguments` in `folder`, with exactly the environment `environment`,
// and collects both output streams and the exit code (-1 when it did not exit normally).
TRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment,
                 const std::filesystem::path& folder);

std::string read_file(const std::filesystem::path& path);

// The offset where the file's tag region (APE tag, then any ID3v1 tag) begins: the length of
// what must never change. The whole length when the file has neither.
size_t tag_region_start(const std::string& bytes);

// The APE tag of `file` as mutagen reads it: one "key=value" line per item, sorted, or the
// line "error: ..." when mutagen refuses the tag. Empty without a tag.
std::string mutagen_items(const std::filesystem::path& file);
