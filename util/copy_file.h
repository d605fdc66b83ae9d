// Copying one file, contents and attributes, to a file or into a folder.
#pragma once

// Longest target path copy_file accepts, in bytes.
constexpr int kCopyTargetPathMax = 511;

// Copies `source` to `destination`. When `destination` is a folder (or a link to one), the
// target is that folder, one "/", and the source's file name; otherwise it is `destination`
// itself. The contents are copied first, by the program itself (no shell or other program is
// run, so any byte of a name is safe): an existing target is overwritten and keeps its own
// permissions; a new one is created with the source's permission bits less the umask, as cp
// does. A target that is a dangling symbolic link is refused, as cp refuses it: nothing is
// created where the link points. Then each extended attribute of the source in the user
// namespace ("user.") is written to the target, replacing one of the same name there; an
// attribute that cannot be read or written is skipped. Attributes of the other namespaces
// (ACLs, capabilities, security labels) are never copied.
//
// Returns 0 when the target, after the contents copy, opens for reading and writing, and -1
// otherwise. A failed contents copy is not an error by itself: when an older target exists and
// opens, the result is 0 and the source's attributes are copied onto it. A target path longer
// than kCopyTargetPathMax bytes, or a null argument, gives -1 with nothing written. A target
// that is the source itself is left as it is. Nothing is printed.
int copy_file(const char* source, const char* destination);
