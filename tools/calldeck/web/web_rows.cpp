// The web's rows (web_rows.h): the search as calldeck search runs it, and
// the row of a key looked up along the index on channel and time, then
// matched on its path's hash among the calls of that second.
#include "web_rows.h"

#include <stdexcept>

#include "../search_options.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/index/record_database.h"
#include "player/core/process_state.h"
#include "web_row_key.h"

namespace calldeck::web {
namespace {

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
    player::Outcome searched;
    auto rs = player::GetRecordset(request.Statement(), &searched);
    if (!rs || !rs->IsOpen()) throw std::runtime_error("the search failed: " + searched.reason);
    SearchPage out;
    out.total = rs->RecordCount();
    const auto column = [&](const char* name) {
        for (int c = 0; c < rs->FieldCount(); ++c)
            if (rs->FieldName(c) == name) return c;
        throw std::runtime_error(std::string("the search gave no ") + name);
    };
    const int path = column("FileFullName"), time = column("RecordDateTime"), channel = column("RecordChannel"),
              number = column("CallNumber"), duration = column("RecordDuration"), direction = column("CallDirection");
    for (long r = page * size; r < out.total && r < (page + 1) * size; ++r) {
        const auto value = [&](int c) { return std::string(rs->Value(r, c).value_or("")); };
        WebRow row{{}, {value(path), value(time), value(channel), value(number), value(duration), value(direction)}};
        row.key = KeyOf(row.row);
        if (row.key.empty()) continue;  // a row without a time no URL can name
        out.rows.push_back(std::move(row));
    }
    player::CloseRst(rs);
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
