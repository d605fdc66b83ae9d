// The option parser on any command line: the input is split into arguments at NUL bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/support/console_stream.h"
#include "tag/parse_opt.h"
#include "tag/tag_option.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the console still flushes into it when the process ends.
  static std::string& sink = *new std::string;
  static std::string* const original = console::cout.SetSink(&sink);
  (void)original;
  sink.clear();

  std::vector<std::string> arguments{"quillet"};
  std::string current;
  for (size_t i = 0; i < size && arguments.size() < 64; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);

  TTagOption option;
  const long result = parse_opt(static_cast<int>(arguments.size()), argv.data(), &option);
  if (result == 0) {
    const uint32 set = option.char_set;
    if (set != kCharSetShiftJis && set != kCharSetJis && set != kCharSetUtf8 &&
        set != kCharSetAuto) {
      __builtin_trap();
    }
    for (const auto& [id, value] : option.tag_values) {
      if (id == kOptionCharSet || id == kOptionRemoveAll || id < kOptionAlbum || id > kOptionYear) {
        __builtin_trap();  // only field ids are stored as values
      }
    }
    if (option.file_name.empty() && !option.help) {
      __builtin_trap();  // no file name means help
    }
    if (option.help && !option.verbose) {
      __builtin_trap();
    }
  } else if (result != -1 || sink.empty()) {
    __builtin_trap();  // a refused command line is always reported
  }
  return 0;
}
