// TOption: what a console tool's command line asked for, shared by every tool of the family.
#pragma once

#include <string>

class TOption {
 public:
  TOption() = default;
  virtual ~TOption() = default;

  // One record per run, filled through a pointer and read through constant references.
  TOption(const TOption&) = delete;
  TOption& operator=(const TOption&) = delete;

  // Derives the implied flags once parsing is over: verbose turns on the library
  // information, then help turns on verbose (so help alone shows the banner but not the
  // library information). Never clears a flag.
  virtual void Calc();

  bool help = false;
  bool verbose = false;
  bool lib_info = false;
  std::string file_name;
  // Spare text for tools of the family that need one; this tool leaves it empty.
  std::string aux_text;
};
