// TTagOption: the tag tool's command line, as the parser leaves it for every later stage.
#pragma once

#include <map>
#include <string>

#include "option/option.h"
#include "platform/support/support_defs.h"

// Option ids of the tool's own options. The field ids are also the keys of
// TTagOption::tag_values, so a walk over it meets the fields in this order.
enum : int32 {
  kOptionAlbum = 3,
  kOptionArtist = 4,
  kOptionCharSet = 5,
  kOptionComment = 6,
  kOptionGenre = 7,
  kOptionRemoveAll = 8,
  kOptionTitle = 9,
  kOptionTrack = 10,
  kOptionYear = 11,
};

// Character sets of tag text. 11 and 13 are the platform's conversion ids; 15 (UTF-8) is
// never handed to the platform; 4096 detects the set of each field read.
enum : uint32 {
  kCharSetShiftJis = 11,
  kCharSetJis = 13,
  kCharSetUtf8 = 15,
  kCharSetAuto = 4096,
};

class TTagOption : public TOption {
 public:
  TTagOption() = default;
  ~TTagOption() override = default;

  bool remove_all = false;
  uint32 char_set = kCharSetAuto;
  // Field option id -> value exactly as typed (UTF-8, possibly empty); a repeated option
  // replaces the earlier value.
  std::map<long, std::string> tag_values;
};
