// player: the notes' tables in a Player.mdb made before them. The build's
// empty index has them (Notes.sql after Player.sql); an index an operator
// has used for years gets them, from the same Notes.sql compiled in, the
// first time the program opens it for writing, its rows untouched. The
// site's server gets them from its administrator (Player.pg.sql).
#pragma once

namespace platform::sqlstore {
class Connection;
}

namespace player {

// Adds the notes' tables, triggers and indexes that the file lacks, in one
// transaction; nothing on the server, on a file opened read-only, or on one
// that has them all. Throws the store's Error.
void AddNotesTables(platform::sqlstore::Connection& conn);

}  // namespace player
