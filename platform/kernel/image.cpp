#include "platform/kernel/image.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// Slot i holds the handle of image id i; unloaded images leave a null slot so that ids are
// never reused and a stale id cannot reach a later image.
struct TImageTable {
  std::mutex lock;
  std::vector<void*> handles;
};

TImageTable& image_table() {
  static TImageTable table;
  return table;
}

void* handle_of(TImageTable& table, image_id image) {
  if (image < 0 || static_cast<size_t>(image) >= table.handles.size()) {
    return nullptr;
  }
  return table.handles[image];
}

bool symbol_type_matches(const ElfW(Sym) * symbol, int32 symbol_type) {
  const int type = ELF64_ST_TYPE(symbol->st_info);  // the same bits in 32-bit ELF;
  const bool is_text = type == STT_FUNC || type == STT_GNU_IFUNC;
  switch (symbol_type) {
    case B_SYMBOL_TYPE_TEXT:
      return is_text;
    case B_SYMBOL_TYPE_DATA:
      return !is_text;
    default:
      return true;
  }
}

}  // namespace

image_id load_add_on(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    return B_BAD_VALUE;
  }
  std::string file(path);
  if (file.find('/') == std::string::npos) {
    file = "./" + file;
  }
  struct stat status;
  if (stat(file.c_str(), &status) != 0) {
    return B_ENTRY_NOT_FOUND;
  }
  // RTLD_NODELETE: unloading gives the handle up but leaves the image mapped until the process
  // ends. A console run unloads just before it exits, and unmapping there cost about a tenth of
  // a millisecond, a twentieth of a whole run; loading the same file again finds it mapped.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    return B_ERROR;
  }
  TImageTable& table = image_table();
  std::lock_guard<std::mutex> guard(table.lock);
  table.handles.push_back(handle);
  return static_cast<image_id>(table.handles.size() - 1);
}

status_t unload_add_on(image_id image) {
  TImageTable& table = image_table();
  void* handle = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    handle = handle_of(table, image);
    if (handle == nullptr) {
      return B_BAD_VALUE;
    }
    table.handles[image] = nullptr;
  }
  dlclose(handle);
  return B_OK;
}

status_t get_image_symbol(image_id image, const char* name, int32 symbol_type, void** location) {
  if (name == nullptr || location == nullptr) {
    return B_BAD_VALUE;
  }
  if (symbol_type != B_SYMBOL_TYPE_TEXT && symbol_type != B_SYMBOL_TYPE_DATA &&
      symbol_type != B_SYMBOL_TYPE_ANY) {
    return B_BAD_VALUE;
  }
  TImageTable& table = image_table();
  std::lock_guard<std::mutex> guard(table.lock);
  void* handle = handle_of(table, image);
  if (handle == nullptr) {
    return B_BAD_VALUE;
  }
  dlerror();
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    return B_ENTRY_NOT_FOUND;
  }
  // dlsym on a library handle also finds what the library's own dependencies export; only
  // the image's own symbols count, and the symbol's ELF type decides text or data. One dladdr1
  // gives both the owner and the symbol: the owner's name is its link map's own string, so the
  // same pointer means the same image (each loaded object keeps a copy of its own).
  Dl_info info;
  struct link_map* image_map = nullptr;
  void* symbol_entry = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &image_map) != 0 ||
      dladdr1(address, &info, &symbol_entry, RTLD_DL_SYMENT) == 0 ||
      info.dli_fname != image_map->l_name || symbol_entry == nullptr) {
    return B_ENTRY_NOT_FOUND;
  }
  if (!symbol_type_matches(static_cast<const ElfW(Sym)*>(symbol_entry), symbol_type)) {
    return B_ENTRY_NOT_FOUND;
  }
  *location = address;
  return B_OK;
}
