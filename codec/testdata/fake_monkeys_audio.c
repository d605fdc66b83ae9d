// A stand-in for libMonkeysAudio.so with every entry point but no tag work, built in several
// variants for the loader's tests: FAKE_VERSION sets the version text, and
// FAKE_WITHOUT_VERIFY_FILE leaves out the last entry point.
#include <stddef.h>

const char* lib_monkeys_audio_name(void) {
  return "Fake Monkey's Audio";
}
const char* lib_monkeys_audio_version(void) {
  return FAKE_VERSION;
}
const char* lib_monkeys_audio_copyright(void) {
  return "Copyright nobody, for tests";
}
const char* lib_monkeys_audio_components(void) {
  return "Entry points only";
}

void* CreateIAPEDecompress(const char* file_name, int* error_code) {
  (void)file_name;
  if (error_code != NULL) {
    *error_code = 1000;
  }
  return NULL;
}
void* create_capetag_1(const char* file_name) {
  (void)file_name;
  return NULL;
}
void* create_capetag_2(const char* file_name, int read_only) {
  (void)file_name;
  (void)read_only;
  return NULL;
}
void destroy_capetag(void* tag) {
  (void)tag;
}
int CompressFile(void) {
  return 1004;
}
int DecompressFile(void) {
  return 1004;
}
#ifndef FAKE_WITHOUT_VERIFY_FILE
int VerifyFile(void) {
  return 1004;
}
#endif
