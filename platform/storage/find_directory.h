// Well-known folders of the user's account.
#pragma once

#include "platform/storage/entry.h"
#include "platform/support/support_defs.h"

enum directory_which {
  // The user's own shared libraries: $HOME/.local/lib.
  B_USER_LIB_DIRECTORY = 3005,
};

// Sets *path to the folder `which` names. The home folder is $HOME when it is set and not
// empty, otherwise the home folder of the running user's passwd entry. Nothing is created.
// Returns B_OK; B_BAD_VALUE for a null path, an unknown folder, create_it true or a volume
// (only the one file-system tree exists here); B_ENTRY_NOT_FOUND when no home folder can be
// found. *path is left unchanged on failure.
status_t find_directory_r(directory_which which, BPath* path, bool create_it = false,
                          const void* volume = nullptr);
