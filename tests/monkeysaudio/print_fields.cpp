// Prints the text fields our library reads from each file named, for comparing with other
// readers: "= FILE" then one "key<TAB>hex of the fetched text" line per text item (lower-case
// key, sorted), or "! FILE" when the library refuses the file. A file without a Monkey's Audio
// header is read as the header-less entry point reads it, unless the first argument is
// --monkeys-audio.
#include <cstdio>
#include <map>
#include <string>

#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/file/tag_file.h"

namespace {

std::string hex(const char* text, int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

void print_fields(const char* path, bool monkeys_audio_only) {
  TTagFileView view;
  int status = load_tag_file(path, true, &view);
  if (status == kApeErrorInvalidFormat && !monkeys_audio_only) {
    status = load_tag_file(path, false, &view);
  }
  if (status != kApeSuccess) {
    std::printf("! %s\n", path);
    return;
  }
  const TTagFields fields(view.region.items);
  std::map<std::string, std::string> shown;
  for (const TApeItem& item : view.region.items) {
    if (item.IsKept() || !item.IsText()) {
      continue;
    }
    std::string key = item.key;
    for (char& c : key) {
      c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    char buffer[2048];
    int size = sizeof buffer;
    fields.Fetch(key.c_str(), buffer, &size);
    shown[key] = hex(buffer, size);
  }
  std::printf("= %s\n", path);
  for (const auto& [key, text] : shown) {
    std::printf("%s\t%s\n", key.c_str(), text.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool monkeys_audio_only = argc > 1 && std::string(argv[1]) == "--monkeys-audio";
  for (int i = monkeys_audio_only ? 2 : 1; i < argc; ++i) {
    print_fields(argv[i], monkeys_audio_only);
  }
  return 0;
}
