// Prints the text fields our library reads from each file named, for comparing with other
// readers: "= FILE" then one "key<TAB>hex of the fetched text" line per text item (lower-case
// key, sorted), or "! FILE" when the library refuses the file. A file without a Monkey's Audio
// header is read as the header-less entry point reads it, unless the first argument is
// --monkeys-audio.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>

#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/file/tag_file.h"

int main(int argc, char** argv) {
  const bool monkeys_audio_only = argc > 1 && std::string(argv[1]) == "--monkeys-audio";
  for (int i = monkeys_audio_only ? 2 : 1; i < argc; ++i) {
    TTagFileView view;
    int status = load_tag_file(argv[i], true, &view);
    if (status == kApeErrorInvalidFormat && !monkeys_audio_only) {
      status = load_tag_file(argv[i], false, &view);
    }
    std::printf("%c %s\n", status == kApeSuccess ? '=' : '!', argv[i]);
    const TTagFields fields(view.region.items);
    std::map<std::string, std::string> shown;
    for (const TApeItem& item : view.region.items) {
      if (status != kApeSuccess || item.IsKept() || !item.IsText()) {
        continue;
      }
      std::string key = item.key, hex;
      std::transform(key.begin(), key.end(), key.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      char buffer[2048], digits[3];
      int size = sizeof buffer;
      fields.Fetch(key.c_str(), buffer, &size);
      for (int at = 0; at < size; ++at) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(buffer[at]));
        hex += digits;
      }
      shown[key] = hex;
    }
    for (const auto& [key, text] : shown) {
      std::printf("%s\t%s\n", key.c_str(), text.c_str());
    }
  }
  return 0;
}
