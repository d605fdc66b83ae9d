#include "util/interface/shortcut.h"

#include <array>

namespace {

constexpr std::string_view kMiddleDot = "\xE3\x83\xBB";  // U+30FB KATAKANA MIDDLE DOT

// Only ASCII letters change: a byte of a multi-byte character must stay as it is whatever
// the process locale.
char lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

char short_cut_from_label(std::string_view label) {
  const size_t open = label.find('(');
  if (open != std::string_view::npos) {
    const size_t close = label.find(')', open);
    if (close != std::string_view::npos && close - open == 2)
      return lower_ascii(label[open + 1]);
  }
  if (label.find(')') == 1 || label.find(' ') == 1 || label.find(kMiddleDot) == 1)
    return lower_ascii(label[0]);
  return 0;
}

std::string merge_accelerator_key(std::string_view format, std::string_view key,
                                  std::string_view label) {
  if (format.empty())
    return std::string(label);
  const char mode = format[0];
  const std::string_view decoration = format.substr(1);

  std::string accelerator;
  const size_t marker = decoration.find('a');
  if (marker != std::string_view::npos) {
    accelerator.append(decoration.substr(0, marker));
    accelerator.append(key);
    accelerator.append(decoration.substr(marker + 1));
  }

  if (mode == 0x01)
    return accelerator + std::string(label);

  static constexpr std::array<std::string_view, 4> kInsertionPoints = {
      "...", "[", "\xEF\xBC\x9A" /* U+FF1A FULLWIDTH COLON */, ":"};
  size_t point = std::string_view::npos;
  for (std::string_view candidate : kInsertionPoints) {
    point = label.find(candidate);
    if (point != std::string_view::npos)
      break;
  }
  if (point == std::string_view::npos)
    return std::string(label) + accelerator;
  while (point > 0 && label[point - 1] == ' ')
    --point;
  std::string merged(label.substr(0, point));
  merged.append(accelerator);
  merged.append(label.substr(point));
  return merged;
}
