// Reading the tag of a file on disk, including a file that a save left half-done (see
// save_copy.h): the tag it must be read as, and the bytes the next save replaces.
#pragma once

#include "platform/monkeysaudio/tag_file.h"

// As read_tag_file, and then: a file ending in a whole copy reads as that copy, its region
// starting where the copy belongs; a file ending in neither a tag nor a whole copy reads as the
// tag found before the debris, if any. Either way `view->file_size` stays the file's real size,
// so that a save replaces everything from the region's start to the end. Costs nothing more
// for a file that ends in a tag; a whole copy is read once to check it, and a search for the old
// tag reads at most kRecoveryReach bytes, from the end of the audio when the header declares it.
int read_saved_tag_file(const TFileDescriptor& file, bool require_header, TTagFileView* view);
