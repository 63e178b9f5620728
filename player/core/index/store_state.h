// player: what the process holds of the record index it talks to -- the
// site's server when there is one, the one connection, and the window's
// result set -- as one part of the process state (process_state.h).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform::sqlstore {
class Connection;
class Recordset;
}  // namespace platform::sqlstore

namespace player {

// What the site's server lets this desk's login do, as it said at the last
// connection (site_login.h).
struct SiteRights {
    bool onServer = false;   // false: Player.mdb or no index; everything is allowed
    std::string login;       // the server's session_user
    bool mayDelete = true;   // Delete, DeleteAll, purge
    bool mayHold = true;     // place and release holds
    bool scopedNotes = false;  // the notes are bound by the login's scopes: a note search goes through
                               // calldeck_note_paths, which finds the words before testing the scopes
};

struct StoreState {
    // The shared record index's server (site_file.h): a libpq connection
    // string or "service=NAME"; empty when the program keeps Player.mdb.
    std::string SiteServer;
    // Why the last attempt to reach it failed, when that is more than "it
    // cannot be reached" (a line that cannot be read, a server that does
    // not answer), in words that never hold the line; "" otherwise.
    std::string SiteServerTrouble;
    // PlayerConnection: the one database connection; empty until the first
    // ConnectAccess.
    std::shared_ptr<platform::sqlstore::Connection> PlayerConnection;
    // Set once the operator was told that the index is open read-only.
    bool ReadOnlyIndexTold = false;
    SiteRights Rights;
    // Set once the run log said that the site file names a shared login.
    bool SharedLoginTold = false;
    // rsResult: the main window's one result set, bound to its grid: the
    // rows of the last search, whose current row is the selected
    // recording. Empty until the first search; after CloseRst empty again.
    std::shared_ptr<platform::sqlstore::Recordset> rsResult;
    // Run by Delete, DeleteAll and calldeck purge after a recording's file
    // went and before its row goes; empty but in tests, which put another
    // program's writes there.
    std::function<void()> BetweenFileAndRow;
};

}  // namespace player
