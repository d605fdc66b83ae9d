#include "platform/locale/blocale.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/locale/po_dictionary.h"
#include "platform/support/errors.h"

namespace {

// Dictionaries are small; anything larger is not one of ours.
constexpr off_t kMaxDictionarySize = 64 * 1024 * 1024;

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : fFd(fd) {}
  ~TFileDescriptor() {
    if (fFd >= 0) {
      close(fFd);
    }
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fFd; }

 private:
  int fFd;
};

// Reads the whole file at `path` into `contents`.
status_t read_file(const std::string& path, std::string* contents) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return status_from_errno(errno);
  }
  TFileDescriptor file(fd);
  struct stat file_stat;
  if (fstat(file.Get(), &file_stat) != 0) {
    return status_from_errno(errno);
  }
  if (!S_ISREG(file_stat.st_mode)) {
    return B_BAD_VALUE;
  }
  if (file_stat.st_size > kMaxDictionarySize) {
    return B_NO_MEMORY;
  }
  // One byte more than the size, so the end of the file is normally seen by the second read.
  contents->resize(static_cast<std::size_t>(file_stat.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == contents->size()) {
      if (contents->size() > static_cast<std::size_t>(kMaxDictionarySize)) {
        return B_NO_MEMORY;
      }
      contents->resize(contents->size() * 2);
    }
    const ssize_t count = read(file.Get(), contents->data() + filled, contents->size() - filled);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return status_from_errno(errno);
    }
    if (count == 0) {
      break;
    }
    filled += static_cast<std::size_t>(count);
  }
  contents->resize(filled);
  return B_OK;
}

// The languages to try, best first, always ending with "en".
std::vector<std::string> language_candidates() {
  std::string language;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      language = value;
      break;
    }
  }
  language = language.substr(0, language.find_first_of(".@"));
  std::vector<std::string> candidates;
  // A language name never holds "/": such a value must not lead out of the folder.
  if (!language.empty() && language != "C" && language != "POSIX" &&
      language.find('/') == std::string::npos) {
    candidates.push_back(language);
    const std::size_t territory = language.find('_');
    if (territory != std::string::npos && territory > 0) {
      candidates.push_back(language.substr(0, territory));
    }
  }
  if (candidates.empty() || candidates.back() != "en") {
    candidates.push_back("en");
  }
  return candidates;
}

BLocale gLocale;

}  // namespace

BLocale* be_locale = &gLocale;

status_t BLocale::LoadLanguageFile(const char* path) {
  if (path == nullptr || *path == '\0') {
    return B_BAD_VALUE;
  }
  status_t status = B_ENTRY_NOT_FOUND;
  std::string contents;
  for (const std::string& language : language_candidates()) {
    status = read_file(std::string(path) + "." + language + ".po", &contents);
    if (status == B_OK) {
      break;
    }
  }
  if (status != B_OK) {
    return status;
  }
  TMessageTable table;
  table.strings.reserve(contents.size());
  read_po_entries(
      contents,
      [](void* context, std::string_view key, std::string_view translation) {
        auto* table = static_cast<TMessageTable*>(context);
        const auto key_offset = static_cast<std::uint32_t>(table->strings.size());
        table->strings.append(key).push_back('\0');
        const auto translation_offset = static_cast<std::uint32_t>(table->strings.size());
        table->strings.append(translation).push_back('\0');
        table->entries.push_back(
            {key_offset, static_cast<std::uint32_t>(key.size()), translation_offset});
      },
      &table);
  fDictionaries.push_back(std::move(table));
  return B_OK;
}

const char* BLocale::TMessageTable::Find(std::string_view key) const {
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    if (entry->key_length == key.size() &&
        std::string_view(strings.data() + entry->key, entry->key_length) == key) {
      return strings.data() + entry->translation;
    }
  }
  return nullptr;
}

const char* BLocale::GetString(const char* key) const {
  if (key == nullptr) {
    return "";
  }
  const std::string_view lookup(key);
  for (auto dictionary = fDictionaries.rbegin(); dictionary != fDictionaries.rend(); ++dictionary) {
    if (const char* translation = dictionary->Find(lookup); translation != nullptr) {
      return translation;
    }
  }
  return key;
}
