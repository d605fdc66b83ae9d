// The journal of save_journal.h on disk: a save through it, and the recovery of a save cut off.
#pragma once

#include <string>

#include "platform/monkeysaudio/core/save_plan.h"
#include "platform/monkeysaudio/file/file_io.h"

// Replaces the bytes of `file` (the file at `path`, open for writing under its exclusive lock)
// from plan.start on by plan.block, through a journal beside `path`. Returns kApeSuccess;
// kApeErrorWriteFile when the journal cannot be made (the file untouched) or a write of the file
// failed (the old bytes written back when possible; otherwise the journal stays for the next
// run to undo); kApeErrorReadFile when the file could not be read.
int write_journaled(const std::string& path, const TFileDescriptor& file, const TSavePlan& plan);

// The first step of write_journaled alone: the record of `plan` written and synced beside
// `path`, the file not touched. For tests that stop a save after it.
int begin_journal(const std::string& path, const TFileDescriptor& file, const TSavePlan& plan);

// Finishes or undoes the save that a journal beside `path` records, for `file` (open for writing
// under its exclusive lock), as save_journal.h describes. One openat when there is no journal.
// Returns kApeSuccess when there is nothing (more) to do, including when a record was rejected
// and removed; kApeErrorReadFile or kApeErrorWriteFile when the file could not be read or
// repaired, the journal then left in place.
int recover_interrupted_save(const std::string& path, const TFileDescriptor& file);

// True when a journal exists beside `path`: one openat. For a reader deciding whether it must
// take the writer's path.
bool journal_exists(const std::string& path);
