// Kernel images: shared libraries loaded at run time as add-ons, named by an image id.
#pragma once

#include "platform/support/support_defs.h"

// Non-negative: a loaded image. Negative: a failure status.
typedef int32 image_id;

// Symbol types for get_image_symbol.
constexpr int32 B_SYMBOL_TYPE_DATA = 1;
constexpr int32 B_SYMBOL_TYPE_TEXT = 2;
constexpr int32 B_SYMBOL_TYPE_ANY = 5;

// Loads the shared library at `path` with every symbol bound at once and none of them made
// visible to later loads. Returns the new image's id (never reused within a process), or
// B_BAD_VALUE for a null or empty path, B_ENTRY_NOT_FOUND when no file is there, B_ERROR when
// the file cannot be loaded. A path without a "/" names a file in the current folder: the
// system's library search path is never consulted.
image_id load_add_on(const char* path);

// Unloads an image loaded by load_add_on: its id names nothing afterwards, and its code stays
// mapped until the process ends. Returns B_OK, or B_BAD_VALUE for an id that names no loaded
// image (already unloaded, never loaded, negative).
status_t unload_add_on(image_id image);

// Looks `name` up among the image's own exported symbols and stores its address in *location.
// B_SYMBOL_TYPE_TEXT accepts only functions, B_SYMBOL_TYPE_DATA only data objects,
// B_SYMBOL_TYPE_ANY either. Returns B_OK; B_BAD_VALUE for an unknown image, a null name or
// location, or an unknown symbol type; B_ENTRY_NOT_FOUND when the image exports no such symbol
// of that type. *location is left unchanged on failure.
status_t get_image_symbol(image_id image, const char* name, int32 symbol_type, void** location);
