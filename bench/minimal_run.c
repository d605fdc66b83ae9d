/* The least a whole listing run of Quillet has to do, with nothing of its own around it: load
 * libMonkeysAudio.so from the user's library folder with dlopen and bind its eleven entry
 * points, check its version, read both message dictionaries of the installed program and look
 * up the eight labels, open the file twice (each time its header and its tag, text values only:
 * binary values are stepped over by their lengths), and write eight lines.
 *
 *   minimal_run FILE
 *
 * The library is $HOME/.local/lib/libMonkeysAudio.so and the dictionaries are in
 * $HOME/.local/lib/quillet/Language/Dictionaries, as `cmake --install` lays them out. The first
 * open reads the tag and throws it away, as the driver's open does when nothing is written; the
 * second one prints it. No checks beyond what keeps it in bounds. */
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kFieldCount = 7, kValueRoom = 2048, kWindow = 4096 };

static const char* const kFields[kFieldCount] = {"Title", "Artist", "Album", "Comment",
                                                 "Year",  "Genre",  "Track"};
static const char* const kEntries[11] = {"lib_monkeys_audio_name",
                                         "lib_monkeys_audio_version",
                                         "lib_monkeys_audio_copyright",
                                         "lib_monkeys_audio_components",
                                         "CreateIAPEDecompress",
                                         "create_capetag_1",
                                         "create_capetag_2",
                                         "destroy_capetag",
                                         "CompressFile",
                                         "DecompressFile",
                                         "VerifyFile"};

static char gValues[kFieldCount][kValueRoom];

static uint32_t read32(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

/* Reads a whole dictionary into a buffer that stays allocated, as a loaded dictionary does. */
static char* read_dictionary(const char* folder, const char* name) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s.en.po", folder, name);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) {
    return NULL;
  }
  char* text = malloc((size_t)status.st_size + 1);
  ssize_t got = text == NULL ? -1 : read(fd, text, (size_t)status.st_size);
  close(fd);
  if (got < 0) {
    free(text);
    return NULL;
  }
  text[got] = '\0';
  return text;
}

/* The msgstr of `key` in `dictionary` (its first line), or the key itself. */
static void look_up(const char* dictionary, const char* key, char* out, size_t room) {
  char pattern[256];
  snprintf(pattern, sizeof pattern, "msgid \"%s\"\nmsgstr \"", key);
  const char* found = dictionary == NULL ? NULL : strstr(dictionary, pattern);
  if (found == NULL) {
    snprintf(out, room, "%s", key);
    return;
  }
  found += strlen(pattern);
  size_t length = strcspn(found, "\"");
  snprintf(out, room, "%.*s", (int)length, found);
}

/* Opens the file and reads its header and the text values of its APE tag into gValues, reading
 * the tag in windows of kWindow bytes and stepping over binary values. Returns 0, or -1 when
 * the file cannot be opened or is not Monkey's Audio. */
static int read_tag(const char* file_name) {
  static unsigned char window[kWindow + kValueRoom + 512];
  for (int f = 0; f < kFieldCount; ++f) {
    gValues[f][0] = '\0';
  }
  int fd = open(file_name, O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0 || status.st_size < 64) {
    return -1;
  }
  const off_t length = status.st_size;
  if (pread(fd, window, 32, 0) != 32 || memcmp(window, "MAC ", 4) != 0) {
    close(fd);
    return -1;
  }
  off_t window_start = length > kWindow ? length - kWindow : 0;
  ssize_t window_bytes = pread(fd, window, (size_t)(length - window_start), window_start);
  if (window_bytes != length - window_start) {
    close(fd);
    return -1;
  }
  const unsigned char* footer = window + window_bytes - 32;
  const uint32_t size = memcmp(footer, "APETAGEX", 8) == 0 ? read32(footer + 12) : 32;
  if (size < 32 || size > length) {
    close(fd);
    return 0;
  }
  const off_t items_end = length - 32;
  off_t at = length - size;
  for (uint32_t item = 0, count = read32(footer + 16); item < count && at + 9 < items_end; ++item) {
    /* The item's header and key, then (for a text item) its value, must lie in the window. */
    off_t need_end = at + 8 + 256 + kValueRoom;
    if (need_end > items_end) {
      need_end = items_end;
    }
    if (at < window_start || need_end > window_start + window_bytes) {
      window_start = at;
      off_t want = items_end - at < (off_t)sizeof window ? items_end - at : (off_t)sizeof window;
      window_bytes = pread(fd, window, (size_t)want, at);
      if (window_bytes != want) {
        break;
      }
    }
    const unsigned char* bytes = window + (at - window_start);
    const uint32_t value_bytes = read32(bytes);
    const uint32_t flags = read32(bytes + 4);
    const char* key = (const char*)bytes + 8;
    const size_t key_room = (size_t)(window_start + window_bytes - at - 8);
    const size_t key_length = strnlen(key, key_room);
    if (key_length == key_room) {
      break;
    }
    const off_t value_at = at + 8 + (off_t)key_length + 1;
    if ((flags >> 1 & 3) == 0) {
      for (int f = 0; f < kFieldCount; ++f) {
        if (strcasecmp(key, kFields[f]) == 0) {
          size_t take = value_bytes < kValueRoom - 1 ? value_bytes : kValueRoom - 1;
          if (value_at + (off_t)take > window_start + window_bytes) {
            take = (size_t)(window_start + window_bytes - value_at);
          }
          memcpy(gValues[f], window + (value_at - window_start), take);
          gValues[f][take] = '\0';
        }
      }
    }
    at = value_at + value_bytes;
  }
  close(fd);
  return 0;
}

/* Writes "<label><text>" and a newline with one write. */
static void write_line(const char* label, const char* text) {
  char line[kValueRoom + 1024];
  int length = snprintf(line, sizeof line, "%.511s%.2047s\n", label, text);
  if (write(STDOUT_FILENO, line, (size_t)length) < 0) {
    exit(1);
  }
}

int main(int argc, char* argv[]) {
  const char* home = getenv("HOME");
  if (argc != 2 || home == NULL) {
    return 2;
  }
  char path[4096];
  snprintf(path, sizeof path, "%s/.local/lib/libMonkeysAudio.so", home);
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    return 1;
  }
  void* entries[11];
  for (int e = 0; e < 11; ++e) {
    entries[e] = dlsym(library, kEntries[e]);
    if (entries[e] == NULL) {
      return 1;
    }
  }
  const char* version = ((const char* (*)(void))entries[1])();
  if (strlen(version) < 4 || strtod(version + 4, NULL) < 1.4) {
    return 1;
  }

  snprintf(path, sizeof path, "%s/.local/lib/quillet/Language/Dictionaries", home);
  char* dictionaries[2] = {read_dictionary(path, "VornCommon"), read_dictionary(path, "Quillet")};
  char label[512];
  look_up(dictionaries[1], "Tag file: %FileNameAPE%", label, sizeof label);
  char* placeholder = strstr(label, "%FileNameAPE%");
  if (placeholder != NULL) {
    *placeholder = '\0';
  }
  write_line(label, argv[1]);

  if (read_tag(argv[1]) != 0 || read_tag(argv[1]) != 0) {
    return 1;
  }
  for (int f = 0; f < kFieldCount; ++f) {
    char key[32];
    snprintf(key, sizeof key, "%s: ", kFields[f]);
    look_up(dictionaries[1], key, label, sizeof label);
    write_line(label, gValues[f]);
  }
  free(dictionaries[0]);
  free(dictionaries[1]);
  dlclose(library);
  return 0;
}
