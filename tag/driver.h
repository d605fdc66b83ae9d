// The whole run of the tag tool, from the command line to the exit code.
#pragma once

// Loads the dictionaries beside the executable, parses the command line, runs the start-up
// sequence, prints the header line, opens the file through the codec library, then removes,
// writes and lists its tag, in that order, stopping at the first failure with its message.
// Every path deletes the open decompressor and unloads the library before returning.
// Returns the exit code: 0 when the listing was printed, 1 otherwise (usage shown included).
int tag_main(int argc, char* argv[]);
