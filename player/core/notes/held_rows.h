// player: held recordings keep their rows through a rebuild. A rebuild
// empties its main folder's rows and refills them from the files it finds;
// a held recording whose file vanished outside the program would lose its
// row, which the site's server refuses at the commit (Player.pg.sql). So
// the held rows are copied aside before the emptying and those not found
// again are put back before the commit, on either store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::sqlstore {
class Connection;
}

namespace player {

class HeldRowsKept {
public:
    // Copies the held rows stored under `folderNames` (every row of
    // Player.mdb) aside, in the rebuild's transaction. Throws Error.
    HeldRowsKept(platform::sqlstore::Connection& conn, const std::vector<std::string>& folderNames);
    // Puts back those the refill did not store again, under `folder`; how
    // many. Throws Error.
    std::int64_t PutBack(const std::string& folder);

private:
    platform::sqlstore::Connection& conn_;
    std::int64_t aside_ = 0;
};

}  // namespace player
