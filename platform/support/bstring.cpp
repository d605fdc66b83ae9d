#include "platform/support/bstring.h"

#include <string_view>
#include <utility>

BString::BString(const char* text) : fText(text != nullptr ? text : "") {}

BString::BString(std::string text) : fText(std::move(text)) {}

BString& BString::ReplaceAll(const char* replace_this, const char* with_this, int32 from_offset) {
  if (replace_this == nullptr || *replace_this == '\0') {
    return *this;
  }
  // A negative offset counts as the start of the text.
  const std::size_t start = from_offset < 0 ? 0 : static_cast<std::size_t>(from_offset);
  if (start > fText.size()) {
    return *this;
  }
  const std::string_view needle(replace_this);
  const std::string_view replacement(with_this != nullptr ? with_this : "");

  std::size_t found = fText.find(needle, start);
  if (found == std::string::npos) {
    return *this;
  }
  // Build the result in one pass: the search always continues in the original text, so
  // inserted text is never searched again, even when it contains `replace_this`.
  std::string result;
  result.reserve(fText.size());
  std::size_t copied = 0;
  while (found != std::string::npos) {
    result.append(fText, copied, found - copied);
    result.append(replacement);
    copied = found + needle.size();
    found = fText.find(needle, copied);
  }
  result.append(fText, copied, std::string::npos);
  fText = std::move(result);
  return *this;
}
