// player: "Delete" and "DeleteAll", recordings deleted with their rows.
//
// Both ask first (Yes and No, the question icon) and work on the result
// list rsResult: a row is deleted from the set, which deletes it from the
// record table too, only when its file went. MyDelFIle deletes read-only
// files as well; a file it cannot delete is logged by it ("!MyDelFIle ").
//
// "Delete" takes the current row. When its file cannot be deleted the row
// stays and the operator is told "delete file <path> failed."; when it
// went, the row that followed it becomes current (no row, after the last).
//
// "DeleteAll" walks every row of the list, letting window events run after
// each, and ends with "done!". A file it cannot delete keeps its row, and
// the message says how many did ("done! 2 files could not be deleted and
// keep their rows."): deleting the row of a recording that is still on
// disk would hide it from every search until the next rebuild, and "done!"
// alone would tell the operator it was gone. A shutdown meanwhile ends the
// walk without a message. Only the rows of the list go, never the rest of
// the table.
//
// Another program's scan (calldeck scan on Player.mdb, another recorder's
// on the shared index) may have replaced the rows since the search: each
// row is found again as the recording it showed, never taken by its place
// in the list nor by a row id that may now be another recording's, and a
// row whose recording is no longer indexed as it was shown keeps its file
// (Recordset::DeleteWith). "Delete" then tells
// the operator so and to search again; "DeleteAll" goes on with the next
// row and counts it in its closing message ("done! 1 file was not deleted:
// its row changed in the record index since the search; search again.").
//
// An error either meets (no current row, as after a finished "Pickup All";
// a closed index) ends the command with "!Delete File " + its number + " " +
// its description in a message box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform::sqlstore {
class Recordset;
}

namespace player {

void DeleteCurrentFile();
void DeleteAllFiles();

// Deletes the current row of `set` with its recording, which `deleteFile`
// removes (true when it went), and leaves an audit record of `act` either
// way; the row stays when the file did. Delete, DeleteAll and calldeck
// purge all go through it. Throws as Recordset::DeleteWith does.
bool DeleteRowWithFile(platform::sqlstore::Recordset& set, std::string_view act,
                       const std::function<bool()>& deleteFile);

// DeleteAll's closing message when `kept` files could not be deleted and
// `changed` were not, their rows having changed since the search.
std::string DeleteAllDoneText(std::int32_t kept, std::int32_t changed = 0);

}  // namespace player
