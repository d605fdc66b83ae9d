// BString: the small byte-string class that message code fills placeholders with.
#pragma once

#include <string>

#include "platform/support/support_defs.h"

class BString {
 public:
  BString() = default;
  // A null text gives the empty string.
  BString(const char* text);  // NOLINT(google-explicit-constructor): used like the platform's
  explicit BString(std::string text);

  // Never null: a string that holds no text gives "".
  const char* String() const { return fText.c_str(); }
  int32 Length() const { return static_cast<int32>(fText.size()); }
  const std::string& Text() const { return fText; }

  // Replaces every occurrence of `replace_this` found at or after `from_offset`, scanning
  // left to right and never rescanning inserted text. An empty or null `replace_this`, or an
  // offset past the end, changes nothing; a null `with_this` counts as "".
  BString& ReplaceAll(const char* replace_this, const char* with_this, int32 from_offset = 0);

 private:
  std::string fText;
};
