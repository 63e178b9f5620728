// player: "Delete" and "DeleteAll", recordings deleted with their rows of
// the result list. A row goes only when its file went, and each row is
// found again as the recording it showed, since another program's scan may
// have replaced the rows since the search. docs/file_management.md (and
// docs/sites.md for the shared index).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::sqlstore {
class Recordset;
}

namespace player {

// Both ask first (Yes and No, the question icon). "Delete" takes the
// current row; "DeleteAll" walks every row of the list, letting window
// events run after each, and ends with "done!" (DeleteAllDoneText). An
// error either meets ends the command with "!Delete File " + its number +
// " " + its description in a message box.
void DeleteCurrentFile();
void DeleteAllFiles();

// A recording on legal hold (player/core/notes/notes_store.h) that a
// delete kept, file and row; its text names the recording and the reason.
class RecordingOnHold : public std::runtime_error {
public:
    RecordingOnHold(const std::string& path, const std::string& reason);
};

// Deletes the current row of `set` with its recording, which `deleteFile`
// removes (true when it went), and leaves an audit record of `act` either
// way; the row stays when the file did. A held recording is neither: the
// hold is asked inside the delete's own transaction, the run log names the
// recording and the reason, and RecordingOnHold is thrown. What was written
// about a deleted recording (note, tags, bookmarks) goes with it. Delete,
// DeleteAll and calldeck purge all go through it. Throws as
// Recordset::DeleteWith does.
bool DeleteRowWithFile(platform::sqlstore::Recordset& set, std::string_view act,
                       const std::function<bool()>& deleteFile);

// DeleteAll's closing message when `kept` files could not be deleted,
// `changed` were not, their rows having changed since the search, and
// `held` were kept for their hold.
std::string DeleteAllDoneText(std::int32_t kept, std::int32_t changed = 0, std::int32_t held = 0);
// "2 recordings are on hold and were kept." ("1 recording is on hold and
// was kept."); "" for none. DeleteAll and calldeck purge close with it.
std::string HeldKeptText(std::int64_t held);

}  // namespace player
