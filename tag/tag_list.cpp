#include "tag/tag_list.h"

#include <memory>
#include "platform/support/console_stream.h"

#include "codec/lib_monkeys_audio.h"
#include "platform/locale/blocale.h"
#include "tag/charset.h"

namespace {

constexpr int kFieldBufferSize = 2048;

struct TListingRow {
  const char* field;
  const char* label;
};

// The printing order; it differs from the writing order on purpose.
constexpr TListingRow kListingRows[] = {
    {"Title", "Title: "}, {"Artist", "Artist: "}, {"Album", "Album: "}, {"Comment", "Comment: "},
    {"Year", "Year: "},   {"Genre", "Genre: "},   {"Track", "Track: "},
};

}  // namespace

int exp_tag(const TTagOption& option) {
  int error_code = 0;
  std::unique_ptr<IAPEDecompress> decompressor(
      lma::create_iapedecompress(option.file_name.c_str(), &error_code));
  if (decompressor == nullptr) {
    return -1;
  }
  CAPETag* tag = reinterpret_cast<CAPETag*>(decompressor->QueryInfo(kApeInfoTag, 0, 0));
  // One buffer for all fields, as the library fills it; it is not cleared between fields.
  char buffer[kFieldBufferSize] = {};
  for (const TListingRow& row : kListingRows) {
    if (tag != nullptr) {
      int size = kFieldBufferSize;
      tag->FetchField(row.field, buffer, &size);
      // A library that breaks its promise to terminate the text must not make us read on.
      buffer[kFieldBufferSize - 1] = '\0';
    }
    convert_to_utf8(option, buffer, kFieldBufferSize);
    // Made visible after the conversion, on the bytes that reach the terminal: a field whose
    // conversion failed still holds its ESC bytes.
    console::cout << be_locale->GetString(row.label) << console::untrusted(buffer) << console::endl;
  }
  return 0;
}
