#include "option/startup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "codec/lib_monkeys_audio.h"
#include "identity/identity.h"
#include "option/console.h"

// The tool's usage text, as a marker in the output.
void exp_usage() {
  std::cout << "<usage>" << std::endl;
}

namespace {

namespace fs = std::filesystem;

class TCaptureOutput {
 public:
  TCaptureOutput() : fOld(std::cout.rdbuf(fText.rdbuf())) {}
  ~TCaptureOutput() { std::cout.rdbuf(fOld); }
  std::string Text() const { return fText.str(); }

 private:
  std::ostringstream fText;
  std::streambuf* fOld;
};

std::string banner() {
  TOption verbose;
  verbose.verbose = true;
  TCaptureOutput output;
  exp_app_info(verbose);
  return output.Text();
}

const std::string kInfo397 =
    "Fake Monkey's Audio    Ver 3.97\nCopyright nobody, for tests\nEntry points only\n\n";
const std::string kInfo139 =
    "Fake Monkey's Audio    Ver 1.39\nCopyright nobody, for tests\nEntry points only\n\n";

TEST(Startup, RunsItsStagesInOrderAndStopsAtTheFirstFailure) {
  struct Case {
    const char* what;
    bool help;
    bool verbose;
    const char* library;  // null: none installed
    std::string expected;
    int result;
  };
  const std::string b = banner();
  const Case cases[] = {
      {"nothing asked", false, false, FAKE_LMA_397, "", 0},
      {"verbose", false, true, FAKE_LMA_397, b + kInfo397, 0},
      {"help", true, false, FAKE_LMA_397, b + "<usage>\n", -1},
      {"help and verbose", true, true, FAKE_LMA_397, b + kInfo397 + "<usage>\n", -1},
      {"help without a library", true, false, nullptr,
       b + "ERROR: @Err_Load_Lib_Monkeys_Audio libMonkeysAudio.so@\n", -1},
      {"old library", false, true, FAKE_LMA_139,
       b + kInfo139 + "ERROR: @Err_Check_Lib_Monkeys_Audio_Version libMonkeysAudio.so@\n", -1},
      {"help with an old library", true, false, FAKE_LMA_139,
       b + "ERROR: @Err_Check_Lib_Monkeys_Audio_Version libMonkeysAudio.so@\n", -1},
      {"library without an entry", true, true, FAKE_LMA_NO_VERIFY,
       b + "ERROR: @Err_Get_Lib_Monkeys_Audio_Entries libMonkeysAudio.so@\n", -1},
  };
  for (const Case& c : cases) {
    char folder_template[] = "/tmp/quillet-startup-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    const fs::path home = folder_template;
    setenv("HOME", folder_template, 1);
    if (c.library != nullptr) {
      fs::create_directories(home / ".local/lib");
      fs::copy_file(c.library, home / ".local/lib/libMonkeysAudio.so");
    }
    TOption option;
    option.help = c.help;
    option.verbose = c.verbose;
    option.Calc();

    int result = 0;
    std::string text;
    {
      TCaptureOutput output;
      result = startup(option, 1.4f);
      text = output.Text();
    }
    EXPECT_EQ(text, c.expected) << c.what;
    EXPECT_EQ(result, c.result) << c.what;
    // Loaded whenever a library was there, whatever the outcome; the caller unloads.
    EXPECT_EQ(gAppPrivacy.lib_image >= 0, c.library != nullptr) << c.what;
    unload_lib_monkeys_audio(&gAppPrivacy.lib_image);
    fs::remove_all(home);
  }
}

}  // namespace
