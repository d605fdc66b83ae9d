// Helpers for tests that check what goes to the console.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/locale/blocale.h"
#include "platform/support/console_stream.h"

// A folder of its own under the temporary folder, removed with everything in it.
class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = testing::TempDir() + "quillet-test-XXXXXX";
    fPath = mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(fPath, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
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
  // What was written, the text not yet ended by a line end included.
  std::string Text() const {
    console::cout.Flush();
    return fText;
  }

 private:
  std::string fText;
  std::string* fSaved;
};

// Points be_locale at a fresh locale without dictionaries while it lives, so that a test neither
// sees nor leaves dictionaries of other tests and every key prints as itself.
class TScopedLocale {
 public:
  TScopedLocale() : fSaved(be_locale) { be_locale = &fLocale; }
  ~TScopedLocale() { be_locale = fSaved; }

 private:
  BLocale fLocale;
  BLocale* fSaved;
};
