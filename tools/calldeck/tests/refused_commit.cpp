// A stand-in for one SQLite call, preloaded (LD_PRELOAD) into a calldeck
// under test: every connection says a transaction is open, so closing the
// record index tries to commit one, SQLite refuses (there is none), and the
// close fails as a commit the disk cannot store does. Searches still run:
// they only read.
struct sqlite3;

extern "C" __attribute__((visibility("default"))) int sqlite3_get_autocommit(sqlite3*) { return 0; }
