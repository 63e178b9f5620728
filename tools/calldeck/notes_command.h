// calldeck: what reviewers write about a recording, from a terminal.
//
//   calldeck note PATH [TEXT]            prints the note, or stores TEXT ("" removes it)
//   calldeck tag PATH [+TAG|-TAG|TAG]... prints the tags, or adds (+, bare) and removes (-)
//   calldeck bookmark PATH [SECOND LABEL | --remove SECOND]
//   calldeck hold PATH (--reason R | --release) | calldeck hold --list
//   calldeck notes --orphans
//
// PATH is the recording's stored path (a path to an existing file is made
// absolute and canonical first, as the scan stores it). The changes go
// through player/core/notes/notes_store.h, audited there. Exit codes: 0
// done, 1 the index or the audit trail refused (the reason on standard
// error), 2 a usage error.
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kNoteHelp;
extern const char* const kTagHelp;
extern const char* const kBookmarkHelp;
extern const char* const kHoldHelp;
extern const char* const kNotesHelp;

// Runs `command` (note, tag, bookmark, hold, notes) on the opened record
// index; throws UsageError.
int RunNotesCommand(const std::string& command, const std::vector<std::string>& args);

}  // namespace calldeck
