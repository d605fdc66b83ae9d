// Helpers for tests that check what goes to the console.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/locale/blocale.h"
#include "platform/support/console_stream.h"

// A folder of its own under the temporary folder, removed with everything in it.
class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillet-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      fPath = pattern;
    }
  }
  ~TTempFolder() {
    std::error_code ignored;
    if (!fPath.empty()) {
      std::filesystem::remove_all(fPath, ignored);
    }
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

// Collects everything written to the console while it lives.
class TCoutCapture {
 public:
  TCoutCapture() : fSaved(console::cout.SetSink(&fText)) {}
  ~TCoutCapture() { console::cout.SetSink(fSaved); }
  TCoutCapture(const TCoutCapture&) = delete;
  TCoutCapture& operator=(const TCoutCapture&) = delete;

  // What was written, the text not yet ended by a line end included.
  std::string Text() const {
    console::cout.Flush();
    return fText;
  }

 private:
  std::string fText;
  std::string* fSaved;
};

// Points be_locale at a fresh locale without dictionaries while it lives, so that a test
// neither sees nor leaves dictionaries of other tests.
class TScopedLocale {
 public:
  TScopedLocale() : fLocale(std::make_unique<BLocale>()), fSaved(be_locale) {
    be_locale = fLocale.get();
  }
  ~TScopedLocale() { be_locale = fSaved; }
  TScopedLocale(const TScopedLocale&) = delete;
  TScopedLocale& operator=(const TScopedLocale&) = delete;

  // Writes `entries` (PO text without header) as the English dictionary `folder`/`name`
  // and loads it. Returns the load status.
  int Load(const std::string& folder, const std::string& name, const std::string& entries) {
    std::ofstream(folder + "/" + name + ".en.po")
        << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
        << entries;
    setenv("LC_ALL", "C", 1);
    return fLocale->LoadLanguageFile((folder + "/" + name).c_str());
  }

 private:
  std::unique_ptr<BLocale> fLocale;
  BLocale* fSaved;
};
