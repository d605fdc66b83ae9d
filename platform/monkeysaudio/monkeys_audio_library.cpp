// The entry points and objects of libMonkeysAudio.so. Only the entry points are exported; no
// exception leaves the library.
#include <new>
#include <string>

#include "codec/monkeys_audio.h"
#include "platform/monkeysaudio/core/tag_fields.h"
#include "platform/monkeysaudio/file/tag_file.h"

#define QUILLET_EXPORT __attribute__((visibility("default")))

namespace {

// The tag of one file, read when the object is made. Every object reads the file itself, so a
// second object on the same file sees what the first saved.
class TApeTagObject final : public CAPETag {
 public:
  TApeTagObject(std::string path, bool require_header, bool read_only, TTagFields fields)
      : fPath(std::move(path)),
        fRequireHeader(require_header),
        fReadOnly(read_only),
        fFields(std::move(fields)) {}

  int SaveTag(int) override {
    if (fReadOnly) {
      return kApeErrorReadOnly;
    }
    if (!fFields.Modified()) {
      return kApeSuccess;
    }
    try {
      // The changes go onto the tag as it stands under the lock: another process may have saved
      // since this object read the file.
      TTagFields saved;
      const int status = save_tag_changes(fPath.c_str(), fRequireHeader, fFields, &saved);
      if (status == kApeSuccess) {
        fFields = std::move(saved);
        fFields.DropBinaryValues();
      }
      return status;
    } catch (const std::bad_alloc&) {
      return kApeErrorNoMemory;
    }
  }

  int EraseTag(int) override {
    fFields.EraseAll();
    return kApeSuccess;
  }

  int PutField(const char* field, const char* value, int length, int flags) override {
    if (field == nullptr || (value == nullptr && length != 0) || length < -1 || flags < 0) {
      return kApeErrorInvalidArgument;
    }
    try {
      const std::string_view text = value == nullptr ? std::string_view()
                                    : length == -1   ? std::string_view(value)
                                                     : std::string_view(value, length);
      return fFields.Put(field, text, static_cast<uint32_t>(flags));
    } catch (const std::bad_alloc&) {
      return kApeErrorNoMemory;
    }
  }

  int FetchField(const char* field, char* buffer, int* buffer_bytes) override {
    try {
      return fFields.Fetch(field, buffer, buffer_bytes);
    } catch (const std::bad_alloc&) {
      if (buffer != nullptr && buffer_bytes != nullptr && *buffer_bytes > 0) {
        buffer[0] = '\0';
        *buffer_bytes = 0;
      }
      return kApeErrorNoMemory;
    }
  }

 private:
  std::string fPath;
  bool fRequireHeader;
  bool fReadOnly;
  TTagFields fFields;
};

class TApeDecompressor final : public IAPEDecompress {
 public:
  explicit TApeDecompressor(TApeTagObject tag) : fTag(std::move(tag)) {}

  int GetData(char*, intptr_t, intptr_t* blocks_retrieved) override {
    if (blocks_retrieved != nullptr) {
      *blocks_retrieved = 0;
    }
    return kApeErrorUnsupported;
  }
  int Seek(intptr_t) override { return kApeErrorUnsupported; }
  intptr_t QueryInfo(int code, intptr_t, intptr_t) override {
    return code == kApeInfoTag ? reinterpret_cast<intptr_t>(static_cast<CAPETag*>(&fTag)) : 0;
  }

 private:
  TApeTagObject fTag;
};

// Reads the fields of `path`; returns kApeSuccess or the ApeError that prevented it.
int load_fields(const char* path, bool require_header, TTagFields* fields) {
  TTagFileView view;
  const int status = load_tag_file(path, require_header, &view);
  if (status == kApeSuccess) {
    *fields = TTagFields(std::move(view.region.items));
    // Objects show text fields only, and every save reads the tag again: cover art is not held.
    fields->DropBinaryValues();
  }
  return status;
}

}  // namespace

extern "C" {

QUILLET_EXPORT const char* lib_monkeys_audio_name(void) {
  return "Quillet Monkey's Audio tag library";
}

QUILLET_EXPORT const char* lib_monkeys_audio_version(void) {
  return "Ver 1.40";
}

QUILLET_EXPORT const char* lib_monkeys_audio_copyright(void) {
  return "Copyright (c) 2026 the Quillet developers";
}

QUILLET_EXPORT const char* lib_monkeys_audio_components(void) {
  return "Monkey's Audio header recognition (3.80 to 3.99 and later); APEv1 and APEv2 tag "
         "reading, ID3v1 reading; APEv2 tag writing. No audio coding.";
}

QUILLET_EXPORT IAPEDecompress* CreateIAPEDecompress(const char* file_name, int* error_code) {
  int error = kApeSuccess;
  IAPEDecompress* decompressor = nullptr;
  try {
    TTagFields fields;
    error = load_fields(file_name, true, &fields);
    if (error == kApeSuccess) {
      decompressor = new TApeDecompressor(TApeTagObject(file_name, true, false, std::move(fields)));
    }
  } catch (const std::bad_alloc&) {
    error = kApeErrorNoMemory;
  }
  if (error_code != nullptr) {
    *error_code = error;
  }
  return decompressor;
}

QUILLET_EXPORT CAPETag* create_capetag_2(const char* file_name, int read_only) {
  try {
    TTagFields fields;
    if (load_fields(file_name, false, &fields) != kApeSuccess) {
      return nullptr;
    }
    return new TApeTagObject(file_name, false, read_only != 0, std::move(fields));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

QUILLET_EXPORT CAPETag* create_capetag_1(const char* file_name) {
  return create_capetag_2(file_name, 0);
}

QUILLET_EXPORT void destroy_capetag(CAPETag* tag) {
  delete tag;
}

QUILLET_EXPORT int CompressFile(const char*, const char*, int, int*, ApeProgressCallback, int*) {
  return kApeErrorUnsupported;
}

QUILLET_EXPORT int DecompressFile(const char*, const char*, int*, ApeProgressCallback, int*) {
  return kApeErrorUnsupported;
}

QUILLET_EXPORT int VerifyFile(const char*, int*, ApeProgressCallback, int*) {
  return kApeErrorUnsupported;
}

}  // extern "C"
