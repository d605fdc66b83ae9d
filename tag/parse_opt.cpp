#include "tag/parse_opt.h"

#include <string>

#include "option/console.h"
#include "option/option_scan.h"
#include "tag/charset.h"

namespace {

int32 find_option_id(const TOptionMap& map, const std::string& name) {
  const auto found = map.find(name);
  return found == map.end() ? kOptionNone : found->second;
}

uint32 find_char_set(const TEncodingMap& map, std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  const auto found = map.find(name);
  return found == map.end() ? 0 : static_cast<uint32>(found->second);
}

}  // namespace

int init_option_map(TOptionMap* map) {
  (*map)["-ALBUM"] = kOptionAlbum;
  (*map)["-L"] = kOptionAlbum;
  (*map)["-ARTIST"] = kOptionArtist;
  (*map)["-A"] = kOptionArtist;
  (*map)["-CHARSET"] = kOptionCharSet;
  (*map)["-CS"] = kOptionCharSet;
  (*map)["-COMMENT"] = kOptionComment;
  (*map)["-C"] = kOptionComment;
  (*map)["-GENRE"] = kOptionGenre;
  (*map)["-G"] = kOptionGenre;
  (*map)["-REMOVEALL"] = kOptionRemoveAll;
  (*map)["-TITLE"] = kOptionTitle;
  (*map)["-T"] = kOptionTitle;
  (*map)["-TRACK"] = kOptionTrack;
  (*map)["-R"] = kOptionTrack;
  (*map)["-YEAR"] = kOptionYear;
  (*map)["-Y"] = kOptionYear;
  return init_option_map_common(map);
}

long parse_opt(int argc, const char* const argv[], TTagOption* option) {
  TOptionMap option_map;
  init_option_map(&option_map);
  TEncodingMap encoding_map;
  init_encoding_map(&encoding_map);

  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i] != nullptr ? argv[i] : "";
    const int32 id = find_option_id(option_map, extract_opt_name(argument));
    switch (id) {
      case kOptionAlbum:
      case kOptionArtist:
      case kOptionComment:
      case kOptionGenre:
      case kOptionTitle:
      case kOptionTrack:
      case kOptionYear:
        option->tag_values[id] = extract_opt_value(argument);
        break;
      case kOptionCharSet:
        option->char_set = find_char_set(encoding_map, extract_opt_value(argument));
        if (option->char_set == 0) {
          exp_err(make_message("@Err_Bad_Option_Value %Option%@", {{"%Option%", argument}}));
          return -1;
        }
        break;
      case kOptionRemoveAll:
        option->remove_all = true;
        break;
      default:
        if (!argument.empty() && argument[0] == '-') {
          if (parse_opt_common(id, argument, option) != 0) {
            return -1;
          }
        } else {
          option->file_name = argument;
        }
        break;
    }
  }
  if (option->file_name.empty()) {
    option->help = true;
  }
  option->Calc();
  return 0;
}
