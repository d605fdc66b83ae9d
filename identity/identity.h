// The program's identity: name, version, credit line, author, signature, and the global
// object that knows where the running executable lies.
#pragma once

#include <string>

#include "platform/support/support_defs.h"

extern const char* const gAppName;
extern const char* const gAppVer;
// One line; "%AppAuthor%" is replaced by the looked-up author name.
extern const char* const gCright;
// The author's name in full-width letters (UTF-8).
extern const char* const gAppAuthorJ;
// The author's name in Latin letters; also a message key, so a dictionary may show it in
// another script.
extern const char* const gAppAuthorE;
extern const char* const gAppSignature;

class TAppPrivacy {
 public:
  TAppPrivacy() = default;
  virtual ~TAppPrivacy() = default;

  // Records the name and folder of the executable started as `start_path` (argv[0]). A path
  // with a "/" is made absolute against the current folder and symbolic links are followed,
  // so the folder is that of the real file. A bare name (no "/", as a shell passes a program
  // found through PATH) says nothing about where the file lies: the running executable as the
  // kernel names it (/proc/self/exe) is taken instead, never a file of that name in the
  // current folder. A null path, or one that does not lead to an existing file, leaves both
  // empty. Calling it again replaces both.
  void AnalyzeExePath(const char* start_path);

  // Absolute folder of the executable, ending in "/"; empty before AnalyzeExePath.
  std::string ExePath() const { return exe_path; }
  // File name of the executable without its folder; empty before AnalyzeExePath.
  std::string ExeName() const { return exe_name; }

 private:
  std::string exe_name;
  std::string exe_path;
};

class TVornAppPrivacy : public TAppPrivacy {
 public:
  TVornAppPrivacy() = default;
  // Unloads nothing: the driver unloads the codec library itself before it returns.
  ~TVornAppPrivacy() override = default;

  // Reserved for tools of the family; this tool keeps both at 0.
  int32 reserved1 = 0;
  int32 reserved2 = 0;
  // Image id of the loaded codec library; -1 while none is loaded.
  long lib_image = -1;
};

extern TVornAppPrivacy gAppPrivacy;
