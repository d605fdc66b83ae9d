// BLocale: message dictionaries in the gettext PO format, looked up by key.
#pragma once

#include <deque>
#include <string>
#include <unordered_map>

#include "platform/support/support_defs.h"

class BLocale {
 public:
  BLocale() = default;

  // Loads the dictionary whose path without language suffix is `path` (for example
  // ".../Language/Dictionaries/Quillet"): the file `path` + "." + language + ".po", the
  // language taken from the first non-empty of LC_ALL, LC_MESSAGES and LANG, cut before any
  // "." or "@" ("ja_JP.UTF-8" tries "ja_JP", then "ja"); "C", "POSIX" or nothing means "en",
  // and a language without a file falls back to "en". Returns B_OK when a file was read, a
  // negative status otherwise (then nothing changes). Dictionaries stay loaded.
  status_t LoadLanguageFile(const char* path);

  // The non-empty translation of `key` in the dictionary loaded last that has one, or `key`
  // itself. Never null; a returned translation stays valid as long as this object.
  const char* GetString(const char* key) const;

 private:
  std::deque<std::unordered_map<std::string, std::string>> fDictionaries;
};

// The process's locale object.
extern BLocale* be_locale;
