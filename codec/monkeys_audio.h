// The interface of libMonkeysAudio.so, shared by the library and the program that loads it.
//
// The program binds the entry points below by name at run time and calls the objects only
// through their virtual operations, so the order of the virtual operations in each class is
// part of the binary interface: never reorder, insert or remove one.
#pragma once

#include <cstdint>

// Information code for IAPEDecompress::QueryInfo: hands out the file's tag object (a
// CAPETag*, cast to intptr_t), owned by the decompressor. Both parameters are 0.
constexpr int kApeInfoTag = 1030;

// Error codes written by CreateIAPEDecompress and returned by the operations; 0 is success.
enum ApeError : int {
  kApeSuccess = 0,
  kApeErrorOpenFile = 1000,  // missing, unreadable or not a regular file
  kApeErrorReadFile = 1001,
  kApeErrorWriteFile = 1002,      // a save could not write, truncate or lock the file
  kApeErrorInvalidFormat = 1003,  // not a Monkey's Audio file, or a damaged header
  kApeErrorUnsupported = 1004,    // audio coding: this library reads and writes tags only
  kApeErrorBadTag = 1005,         // the tag is damaged and will not be rewritten
  kApeErrorNoMemory = 1006,
  kApeErrorInvalidArgument = 1007,
  kApeErrorFieldNotFound = 1008,
  kApeErrorBufferTooSmall = 1009,  // FetchField cut the value to fit
  kApeErrorReadOnly = 1010,        // SaveTag on a tag object created read-only
};

// The tag of one file. Field names match case-insensitively.
class CAPETag {
 public:
  virtual ~CAPETag() = default;
  // Writes the tag as it now stands to the end of the file (no fields left: removes it).
  // `reserved` is 0. Returns 0 or an ApeError.
  virtual int SaveTag(int reserved) = 0;
  // Removes every field from the tag in memory; nothing is written until SaveTag.
  // `reserved` is 1. Returns 0.
  virtual int EraseTag(int reserved) = 0;
  // Sets the text field `field` to `value` (`length` bytes, or up to its NUL when -1),
  // replacing every field of that name. `flags` is 0. Returns 0 or an ApeError.
  virtual int PutField(const char* field, const char* value, int length, int flags) = 0;
  // Copies the field's text into `buffer` (room *buffer_bytes, at least 1) and always leaves it
  // NUL-terminated: cut to fit, empty for a missing or binary field. Several values of one
  // field are joined with "; ". On return *buffer_bytes is the length copied. Returns 0 or an
  // ApeError.
  virtual int FetchField(const char* field, char* buffer, int* buffer_bytes) = 0;
};

// A Monkey's Audio file opened for its tag.
class IAPEDecompress {
 public:
  virtual ~IAPEDecompress() = default;
  // Audio decoding: this library handles tags only; both return kApeErrorUnsupported.
  virtual int GetData(char* buffer, intptr_t blocks, intptr_t* blocks_retrieved) = 0;
  virtual int Seek(intptr_t block_offset) = 0;
  // kApeInfoTag: the tag object. Unknown codes: 0.
  virtual intptr_t QueryInfo(int code, intptr_t parameter1, intptr_t parameter2) = 0;
};

typedef void (*ApeProgressCallback)(int percentage_done);

// The library's entry points, with C linkage.
extern "C" {
const char* lib_monkeys_audio_name(void);
// A four-character prefix and a decimal number, as "Ver 1.40".
const char* lib_monkeys_audio_version(void);
const char* lib_monkeys_audio_copyright(void);
const char* lib_monkeys_audio_components(void);

// Opens `file_name` when it is a Monkey's Audio file; otherwise returns null and writes an
// ApeError to *error_code (when not null). The caller deletes the object.
IAPEDecompress* CreateIAPEDecompress(const char* file_name, int* error_code);

// A tag object of its own on `file_name` (any file), released with destroy_capetag.
CAPETag* create_capetag_1(const char* file_name);
// The same; with `read_only` non-zero, SaveTag refuses to write.
CAPETag* create_capetag_2(const char* file_name, int read_only);
void destroy_capetag(CAPETag* tag);

// Audio coding is not part of this library: each returns kApeErrorUnsupported.
int CompressFile(const char* input_file, const char* output_file, int compression_level,
                 int* percentage_done, ApeProgressCallback progress, int* kill_flag);
int DecompressFile(const char* input_file, const char* output_file, int* percentage_done,
                   ApeProgressCallback progress, int* kill_flag);
int VerifyFile(const char* input_file, int* percentage_done, ApeProgressCallback progress,
               int* kill_flag);
}

// Types of the entry points, for the program's loader.
typedef const char* (*lib_monkeys_audio_text_t)(void);
typedef IAPEDecompress* (*create_iapedecompress_t)(const char*, int*);
typedef CAPETag* (*create_capetag_1_t)(const char*);
typedef CAPETag* (*create_capetag_2_t)(const char*, int);
typedef void (*destroy_capetag_t)(CAPETag*);
typedef int (*compress_file_t)(const char*, const char*, int, int*, ApeProgressCallback, int*);
typedef int (*decompress_file_t)(const char*, const char*, int*, ApeProgressCallback, int*);
typedef int (*verify_file_t)(const char*, int*, ApeProgressCallback, int*);
