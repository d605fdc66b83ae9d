// The dictionary reader takes any bytes: a user may put any file where a dictionary belongs.
#include <cstdint>
#include <string_view>

#include "platform/locale/po_dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPoDictionary dictionary;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t added = parse_po_dictionary(text, &dictionary);
  if (dictionary.size() > added) {
    __builtin_trap();
  }
  for (const auto& [key, translation] : dictionary) {
    if (key.empty() || translation.empty()) {
      __builtin_trap();  // neither an empty key nor an empty translation is ever stored
    }
  }
  return 0;
}
