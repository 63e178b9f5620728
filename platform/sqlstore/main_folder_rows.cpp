// The record store's rows by main folder, on each store (connection.h).
// A file is one main folder's index, so its operations take every row; the
// server keeps many folders' rows, told apart by their MainFolder column,
// and a rebuild there holds an advisory lock on its folder's name.
#include "connection.h"

#include <sqlite3.h>

#include <filesystem>

#include "server_session.h"

namespace platform::sqlstore {
namespace {

// The folders above `folder` (canonical, absolute), nearest first, the
// root last.
std::vector<std::string> FoldersAbove(const std::string& folder) {
    std::vector<std::string> above;
    const auto inside = [&folder](const std::string& outer) {
        return folder != outer && folder.starts_with(outer == "/" ? outer : outer + "/");
    };
    for (auto up = std::filesystem::path(folder).parent_path(); inside(up.string()); up = up.parent_path()) {
        above.push_back(up.string());
        if (up == up.root_path()) break;
    }
    return above;
}

std::string FolderCondition(std::string_view table) {
    return std::string(table) + " where " + kMainFolderColumn + " = $1";
}

}  // namespace

bool Connection::TryLockMainFolder(const std::string& folder) {
    RequireOpen();
    if (!server_) return true;  // the write transaction holds the whole file
    // The key is the name's 64-bit hash, as every player of the site takes it.
    if (server_->RunForValue("select pg_try_advisory_xact_lock(hashtextextended($1, 0))", {folder}) != "t")
        return false;
    for (const std::string& up : FoldersAbove(folder))
        if (server_->RunForValue("select pg_try_advisory_xact_lock_shared(hashtextextended($1, 0))", {up}) != "t")
            return false;
    return true;
}

std::vector<std::string> Connection::StoredMainFolders(std::string_view table) {
    RequireOpen();
    std::vector<std::string> out;
    if (!server_) return out;
    // A step per folder, not per row.
    const std::string next = "select '=' || min(" + std::string(kMainFolderColumn) + ") from " + std::string(table) +
                             " where " + kMainFolderColumn + " > $1";
    for (std::string after;;) {
        const std::string found = server_->RunForValue(next, {after});
        if (found.empty()) return out;  // null: no folder after it
        after = found.substr(1);
        out.push_back(after);
    }
}

std::int64_t Connection::CountFolderRows(std::string_view table, const std::vector<std::string>& folders) {
    RequireOpen();
    if (server_) {
        std::int64_t rows = 0;
        for (const std::string& folder : folders)
            rows += std::stoll(server_->RunForValue("select count(*) from " + FolderCondition(table), {folder}));
        return rows;
    }
    const Statement count = Prepare("select count(*) from " + std::string(table));
    if (sqlite3_step(count.get()) != SQLITE_ROW) Fail();
    return sqlite3_column_int64(count.get(), 0);
}

void Connection::DeleteFolderRows(std::string_view table, const std::vector<std::string>& folders) {
    RequireOpen();
    if (!server_) return Execute("delete from " + std::string(table));
    for (const std::string& folder : folders) server_->Run("delete from " + FolderCondition(table), {folder});
}

void Connection::SetRowFolder(std::string folder) {
    if (server_) server_->SetRowFolder(std::move(folder));
}

}  // namespace platform::sqlstore
