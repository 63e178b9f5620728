// player: the site file, which points the program at a shared record index.
//
// A site with several recorders and operators keeps one record index on a
// PostgreSQL server (docs/sites.md). The program folder then holds a small
// text file, PlayerSite.conf, whose first line that is neither blank nor a
// comment (#) is a libpq connection string ("host=db1 dbname=calldeck
// user=calldeck") or a service name ("service=calldeck"). Without the file
// nothing changes: the program keeps Player.mdb beside itself. The line may
// hold a password, so it is never written to the run log; a service name
// with the password in the server's password file is the better way.
#pragma once

#include <filesystem>
#include <string>

namespace player {

inline constexpr const char* kSiteFileName = "PlayerSite.conf";

// The connection line of the site file at `file`; empty when there is no
// such file or it holds no line. Throws RunError when it exists and cannot
// be read.
std::string ReadSiteFile(const std::filesystem::path& file);

}  // namespace player
