// The notes' tables added to an older Player.mdb: see notes_schema.h.
#include "player/core/notes/notes_schema.h"

#include <sqlite3.h>

#include <string>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/error.h"
#include "player/core/notes/notes_sql.h"  // kNotesSql: Notes.sql, made by the build

namespace player {

void AddNotesTables(platform::sqlstore::Connection& conn) {
    if (conn.Server() || conn.IsReadOnly()) return;
    // The last object Notes.sql makes: present means all are.
    if (!conn.Query("select 1 from sqlite_schema where name = 'RecordFileInfo_File'").empty()) return;
    conn.BeginBatch();
    try {
        // As written: SQLite's own statements, not the player's.
        char* message = nullptr;
        if (sqlite3_exec(conn.Handle(), kNotesSql, nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string why = message ? message : sqlite3_errmsg(conn.Handle());
            sqlite3_free(message);
            throw platform::sqlstore::Error(sqlite3_extended_errcode(conn.Handle()), why);
        }
        conn.CommitBatch();
    } catch (...) {
        conn.Rollback();
        throw;
    }
}

}  // namespace player
