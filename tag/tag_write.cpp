#include "tag/tag_write.h"

#include <sys/stat.h>

#include "platform/storage/entry.h"
#include "tag/charset.h"

namespace {

constexpr int kValueBufferSize = 2048;

// The library's name of each field option; null for an id that is no field.
const char* field_name(long option_id) {
  switch (option_id) {
    case kOptionAlbum:
      return "Album";
    case kOptionArtist:
      return "Artist";
    case kOptionComment:
      return "Comment";
    case kOptionGenre:
      return "Genre";
    case kOptionTitle:
      return "Title";
    case kOptionTrack:
      return "Track";
    case kOptionYear:
      return "Year";
    default:
      return nullptr;
  }
}

// Only the owner-write bit counts: neither group or other write nor who runs the program.
bool owner_may_write(const std::string& file_name) {
  mode_t permissions = 0;
  BEntry entry(file_name.c_str(), false);
  return entry.GetPermissions(&permissions) == B_OK && (permissions & S_IWUSR) != 0;
}

}  // namespace

int remove_tag(const TTagOption& option, CAPETag* tag) {
  if (!option.remove_all) {
    return 0;
  }
  tag->EraseTag(1);
  tag->SaveTag(0);
  return 0;
}

int add_tag(const TTagOption& option, CAPETag* tag) {
  if (option.tag_values.empty()) {
    return 0;
  }
  if (!owner_may_write(option.file_name)) {
    return -1;
  }
  char value[kValueBufferSize];
  for (const auto& [option_id, text] : option.tag_values) {
    const char* field = field_name(option_id);
    if (field == nullptr) {
      continue;
    }
    convert_from_utf8(option, text, value, kValueBufferSize);
    tag->PutField(field, value, -1, 0);
  }
  tag->SaveTag(0);
  return 0;
}
