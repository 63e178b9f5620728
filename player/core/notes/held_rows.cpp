// Held rows through a rebuild: see held_rows.h. The copy lies in a
// temporary table of the session, emptied at each use (a server session
// serves many rebuilds).
#include "player/core/notes/held_rows.h"

#include "platform/sqlstore/connection.h"

namespace player {
namespace {

constexpr const char* kValues = "FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, CallDirection";

}  // namespace

HeldRowsKept::HeldRowsKept(platform::sqlstore::Connection& conn, const std::vector<std::string>& folderNames)
    : conn_(conn) {
    const std::string held = std::string("select ") + kValues +
                             " from RecordFileInfo where FileFullName in (select FileFullName from RecordHolds)";
    if (!conn_.Server()) {
        conn_.Query(std::string("create temp table if not exists calldeck_held_rows(") + kValues + ")");
        conn_.Query("delete from temp.calldeck_held_rows");
        conn_.Query("insert into temp.calldeck_held_rows " + held);
    } else {
        conn_.Query(
            "create temp table if not exists calldeck_held_rows(FileFullName text, RecordDateTime timestamp, "
            "RecordChannel text, CallNumber text, RecordDuration interval, CallDirection text)");
        conn_.Query("delete from calldeck_held_rows");
        for (const std::string& folder : folderNames)
            conn_.Query("insert into calldeck_held_rows " + held + " and MainFolder = $1", {folder});
    }
    const auto count = conn_.Query("select count(*) from calldeck_held_rows");
    aside_ = count.empty() ? 0 : std::stoll(count.front()[0].value_or("0"));
}

std::int64_t HeldRowsKept::PutBack(const std::string& folder) {
    if (aside_ == 0) return 0;
    const std::string missing = std::string(" from calldeck_held_rows h where not exists (select 1 from RecordFileInfo r "
                                            "where r.FileFullName = h.FileFullName)");
    const auto count = conn_.Query("select count(*)" + missing);
    const std::int64_t back = count.empty() ? 0 : std::stoll(count.front()[0].value_or("0"));
    if (back == 0) return 0;
    if (!conn_.Server())
        conn_.Query(std::string("insert into RecordFileInfo(") + kValues + ") select " + kValues + missing);
    else
        conn_.Query(std::string("insert into RecordFileInfo(MainFolder, ") + kValues + ") select $1, " + kValues +
                        missing,
                    {folder});
    return back;
}

}  // namespace player
