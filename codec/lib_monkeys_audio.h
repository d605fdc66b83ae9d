// Finding, loading, binding, checking and unloading libMonkeysAudio.so.
#pragma once

#include <string>

#include "codec/monkeys_audio.h"

class TOption;

// The file name of the library, as the reports show it.
constexpr const char* kLibMonkeysAudioFileName = "libMonkeysAudio.so";

// The library's entry points, null until get_lib_monkeys_audio_entries binds them; unloading
// leaves them stale. They have a namespace of their own because seven of them share their
// names with the library's functions that monkeys_audio.h declares.
namespace lma {
extern lib_monkeys_audio_text_t lib_monkeys_audio_name;
extern lib_monkeys_audio_text_t lib_monkeys_audio_version;
extern lib_monkeys_audio_text_t lib_monkeys_audio_copyright;
extern lib_monkeys_audio_text_t lib_monkeys_audio_components;
extern create_iapedecompress_t create_iapedecompress;
extern create_capetag_1_t create_capetag_1;
extern create_capetag_2_t create_capetag_2;
extern destroy_capetag_t destroy_capetag;
extern compress_file_t compress_file;
extern decompress_file_t decompress_file;
extern verify_file_t verify_file;
}  // namespace lma

// The folder, beside the real program, where a system-wide install keeps its own copy of the
// library.
constexpr const char* kPackageLibraryFolder = "lib";

// The library's full path in the user's library folder; the empty string when that folder
// cannot be found.
std::string path_name_user_lib_monkeys_audio();

// The library's full path in the install's own library folder, kPackageLibraryFolder beside the
// program as gAppPrivacy found it (links followed); the empty string before the program's folder
// is known. Never a path relative to the current folder.
std::string path_name_package_lib_monkeys_audio();

// The library to load: the user's copy when one is there (whether or not it loads, so a copy
// of the user's always wins), else the install's own copy when one is there, else the user's
// path, which then fails to load as a missing library does. The empty string when there is no
// user library folder and no copy of the install's.
std::string path_name_lib_monkeys_audio();

// Loads the library and stores the image id, negative on failure, in *image.
// Returns 0 when it was loaded, -1 otherwise.
int load_lib_monkeys_audio(long* image);

// Binds the eleven entry points, in a fixed order. Returns 0 when all are bound; -1 at the
// first one missing, after which the pointers bound before it keep their new values and the
// later ones their old.
int get_lib_monkeys_audio_entries(long image);

// Reads the number after the four-character prefix of the library's version text. Returns 0
// when it is at least `lowest`, -1 when it is lower, when the text is shorter than four
// characters or holds no number there, or when no version entry is bound.
int check_lib_monkeys_audio_version(float lowest);

// Unloads the library when *image names one and sets *image to -1; does nothing for a
// negative id, so a second call, or one without a load, is harmless.
void unload_lib_monkeys_audio(long* image);

// One "ERROR: " line each, naming the library's file name (never its path).
void exp_err_load_lib_monkeys_audio();
void exp_err_get_lib_monkeys_audio_entries();
void exp_err_check_lib_monkeys_audio_version();

// When the record's lib_info flag is set: the library's name and version, its copyright, its
// components, and an empty line. Nothing otherwise.
void exp_lma_info(const TOption& option);
