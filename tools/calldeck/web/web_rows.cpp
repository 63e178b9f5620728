// The web's rows (web_rows.h): the statement calldeck search runs, counted
// and read a page at a time, each row named by its key (web_row_key.h); and
// the row of a key looked up along the index on channel and time, then
// matched on its path's hash among the calls of that second.
#include "web_rows.h"

#include <stdexcept>

#include "../search_options.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/jet_sql.h"
#include "player/core/index/record_database.h"
#include "player/core/process_state.h"
#include "web_row_key.h"

namespace calldeck::web {
namespace {

namespace sqlstore = platform::sqlstore;

platform::sqlstore::Connection& Index() {
    auto& connection = player::Process().PlayerConnection;
    if (!connection || !connection->IsOpen()) throw std::runtime_error("the record index is not open");
    return *connection;
}

std::string Text(const std::optional<std::string>& value) { return value.value_or(""); }

}  // namespace

std::vector<std::string> SearchOptionsOf(const std::multimap<std::string, std::string>& params) {
    static const std::map<std::string, std::string> valued{
        {"start", "--start"},       {"end", "--end"}, {"channel", "--channel"}, {"number", "--number"},
        {"duration", "--duration"}, {"tag", "--tag"}, {"note", "--note"}};
    std::vector<std::string> args;
    for (const auto& [name, value] : params) {
        if (const auto it = valued.find(name); it != valued.end()) {
            if (!value.empty()) args.insert(args.end(), {it->second, value});
        } else if ((name == "in" || name == "out") && value == "0") {
            args.push_back(name == "in" ? "--no-in" : "--no-out");
        } else if (name == "held" && value == "1") {
            args.push_back("--held");
        }
    }
    SearchRequest check = DefaultSearch();  // refused here, before the index is asked
    for (std::size_t i = 0; i < args.size(); ++i) TakeSearchOption(args, i, check);
    return args;
}

SearchPage Search(const std::vector<std::string>& options, long page, long size) {
    SearchRequest request = DefaultSearch();
    for (std::size_t i = 0; i < options.size(); ++i) TakeSearchOption(options, i, request);
    if (!player::ReachIndex()) throw std::runtime_error("the record index cannot be reached");
    auto& index = Index();
    index.GatherMissingStatistics("RecordFileInfo");  // an index filled by another program
    // The statement in the store's own dialect. The server promises no order
    // without one, so its pages follow the time, channel and path; SQLite
    // gives the same plan's order every time.
    std::string search = request.Statement();
    const bool server = index.Server() != nullptr;
    if (server && search.find(" order by ") == std::string::npos)
        search += " order by RecordDateTime,RecordChannel,FileFullName";
    sqlstore::ServerStatement statement =
        server ? sqlstore::TranslateForServer(search, index.Kinds())
               : sqlstore::ServerStatement{sqlstore::Translate(search, index.Kinds()), {}};
    // The count, and the page alone: a day of a large index is counted
    // along its time index, and only the page's rows are read.
    SearchPage out;
    const auto counted = index.Query("select count(*) from (" + statement.sql + ") as found", statement.parameters);
    out.total = counted.empty() || counted[0].empty() ? 0 : std::stol(Text(counted[0][0]));
    const std::size_t limit = statement.parameters.size() + 1;
    statement.parameters.push_back(std::to_string(size));
    statement.parameters.push_back(std::to_string(page * size));
    const auto rows =
        index.Query(statement.sql + " limit $" + std::to_string(limit) + " offset $" + std::to_string(limit + 1),
                    statement.parameters);
    // Columns: the window's RecordChannel, RecordDateTime, CallNumber,
    // RecordDuration, FileFullName, CallDirection.
    for (const auto& r : rows) {
        if (r.size() < 6) continue;
        WebRow row{{}, {Text(r[4]), Text(r[1]), Text(r[0]), Text(r[2]), Text(r[3]), Text(r[5])}};
        row.key = KeyOf(row.row);
        if (row.key.empty()) continue;  // a row without a time no URL can name
        out.rows.push_back(std::move(row));
    }
    return out;
}

std::optional<WebRow> RowOf(const std::string& key) {
    const auto named = ReadKey(key);
    if (!named) return std::nullopt;
    const auto rows = Index().Query(
        "select FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, CallDirection "
        "from RecordFileInfo where RecordChannel = $1 and RecordDateTime = $2",
        {named->channel, named->dateTime});
    for (const auto& r : rows) {
        if (r.size() < 6 || PathHash(Text(r[0])) != named->pathHash) continue;
        WebRow row{key, {Text(r[0]), Text(r[1]), Text(r[2]), Text(r[3]), Text(r[4]), Text(r[5])}};
        if (KeyOf(row.row) == key) return row;
    }
    return std::nullopt;
}

}  // namespace calldeck::web
