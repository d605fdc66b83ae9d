// The benchmark's TagLib program: lists the seven fields of a Monkey's Audio file's APE tag, or
// writes them, as Quillet does.
//
//   taglib_tag list FILE
//   taglib_tag write FILE TITLE ARTIST ALBUM COMMENT YEAR GENRE TRACK
#include <taglib/apefile.h>
#include <taglib/apetag.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const kFields[] = {"Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"};

}  // namespace

int main(int argc, char* argv[]) {
  const bool list = argc == 3 && std::strcmp(argv[1], "list") == 0;
  const bool write = argc == 10 && std::strcmp(argv[1], "write") == 0;
  if (!list && !write) {
    std::fprintf(stderr,
                 "usage: %s list FILE | write FILE TITLE ARTIST ALBUM COMMENT YEAR "
                 "GENRE TRACK\n",
                 argv[0]);
    return 2;
  }
  TagLib::APE::File file(argv[2], false);
  if (!file.isValid()) {
    std::fprintf(stderr, "%s: not a Monkey's Audio file\n", argv[2]);
    return 1;
  }
  TagLib::APE::Tag* tag = file.APETag(write);
  if (write) {
    for (int i = 0; i < 7; ++i) {
      tag->addValue(kFields[i], TagLib::String(argv[3 + i], TagLib::String::UTF8), true);
    }
    if (!file.save()) {
      return 1;
    }
  }
  const TagLib::APE::ItemListMap empty;
  const TagLib::APE::ItemListMap& items = tag != nullptr ? tag->itemListMap() : empty;
  std::printf("Tag file: %s\n", argv[2]);
  for (const char* field : kFields) {
    auto found = items.find(TagLib::String(field).upper());
    std::printf("%s: %s\n", field,
                found == items.end() ? "" : found->second.toString().toCString(true));
  }
  return 0;
}
