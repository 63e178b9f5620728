// player: manifest.tsv, what reviewers wrote about the exported recordings,
// written beside them by "Pickup All" and calldeck export (a member of its
// archive), so a note, the tags, the bookmarks and a hold travel with the
// calls. It names who heard what, so it is created 0600 as every export
// part is. One line per recording under a header line, tab-separated, each
// value escaped as the audit trail's fields are (a backslash, tab, line
// feed and carriage return as \\, \t, \n, \r), so every value reads back.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "player/core/audit/audit_record.h"
#include "player/core/notes/notes_store.h"

namespace player {

inline constexpr const char* kManifestName = "manifest.tsv";

struct ManifestEntry {
    AuditRow row;            // the recording's row as the search found it
    std::string exportedAs;  // the exported file's name (an archive's member name)
    Annotations written;     // read while the index is open (LoadAnnotations)
};

// "FileFullName RecordDateTime RecordChannel CallNumber RecordDuration
// CallDirection ExportedAs Tags Note Bookmarks Hold HeldBy HeldAt": the
// tags separated by blanks, the bookmarks each "SECOND LABEL", one a line
// (so written \n between them).
std::string ManifestHeader();
std::string ManifestLine(const ManifestEntry& entry);

// Writes the whole file, replacing one that is there, under a temporary
// name first; 0600 whatever the umask. Throws std::system_error.
void WriteManifest(const std::filesystem::path& file, const std::vector<ManifestEntry>& entries);

}  // namespace player
