// BLocale: message dictionaries in the gettext PO format, looked up by key.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

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
  // One loaded dictionary. Its keys and translations lie NUL-terminated one after another in
  // `strings`, in the order of the file; a run looks up a handful of keys, so a scan of the
  // entries costs less than building a hash table of them at every start.
  struct TMessageTable {
    struct TEntry {
      std::uint32_t key;
      std::uint32_t key_length;
      std::uint32_t translation;
    };
    std::string strings;
    std::vector<TEntry> entries;

    // The translation of `key`, the file's last one when the key is given twice, or null.
    const char* Find(std::string_view key) const;
  };

  // A deque keeps each table in place, so translations handed out stay valid.
  std::deque<TMessageTable> fDictionaries;
};

// The process's locale object.
extern BLocale* be_locale;
