// Changing the file's tag: clearing it, and writing the fields given on the command line.
#pragma once

#include "codec/monkeys_audio.h"
#include "tag/tag_option.h"

// When option.remove_all is set, erases every field of `tag` and saves it; otherwise touches
// nothing. Returns 0: a failure inside the library is not detected (the listing that follows
// shows what the file holds).
int remove_tag(const TTagOption& option, CAPETag* tag);

// Writes every field of option.tag_values into `tag`, converted into option.char_set, in
// ascending option id order (Album, Artist, Comment, Genre, Title, Track, Year), then saves
// once. Each value is cut to 2047 bytes. Returns 0, also when there is nothing to write (then
// nothing at all is done); -1, with nothing put, when the owner-write bit of the file
// (of a symbolic link itself, not its target) is clear or its permissions cannot be read.
int add_tag(const TTagOption& option, CAPETag* tag);
