// calldeck: the player's index and search without a window.
//
//   calldeck scan [--main-folder DIR] [--allow-empty]
//   calldeck search [--start "YYYY-MM-DD hh:mm:ss"] [--end ...] [--channel N]
//                   [--number TEXT] [--duration ">=h:mm:ss" | "<=h:mm:ss"]
//                   [--no-in] [--no-out] [--tag T] [--note WORDS] [--held] [--all]
//   calldeck export (--to DIR | --zip FILE) [-j N] [the search options]
//   calldeck audit (verify [FILES] | show [the search options] [--act ACT]...)
//   calldeck purge --older-than DAYS [the search options] [--dry-run] [--yes]
//   calldeck note | tag | bookmark | hold | notes ... (notes_command.h)
//   calldeck serve ... | web-user ... (web/serve_command.h, web/web_user_command.h)
//
// It is the same core the main window runs, on the same program folder
// (Player.mdb, PlayerMisc.cfg, PlayerLog beside the executable, or in
// CALLDECK_PROGRAM_FOLDER). "scan" is the window's rebuild: it stores DIR
// (or the stored main folder) as the main folder, empties and refills the
// index, shows the counts on the terminal and prints "Record File = N";
// Ctrl+C is the scan window's Cancel, and the rows found so far stay. A
// rebuild that cannot be done or stored prints why and exits 1, and the
// index and the stored main folder stay as they were; so does one that
// found no recording where the index holds some, unless --allow-empty.
// "search" builds the statement the window's condition controls would,
// starting from the window's own defaults, and prints the rows as
// tab-separated values under a header line ("--all" is "Refresh Recordset"),
// a backslash, tab, line feed or carriage return in a value written as
// \\, \t, \n or \r so that every value reads back exactly.
// "export" writes out what the same search finds (export_command.h);
// "audit" checks and lists the audit trail (audit_command.h), "purge"
// deletes what is older than a site keeps (purge_command.h).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/convert/decrypt_file.h"
#include "player/core/paths.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/record_scan.h"
#include "player/core/run_log.h"
#include "player/core/index/search_conditions.h"
#include "player/core/notes/notes_store.h"
#include "player/core/file_utilities.h"
#include "player/core/text.h"
#include "player/core/run_error.h"
#include "search_options.h"
#include "audit_command.h"
#include "export_command.h"
#include "purge_command.h"
#include "notes_command.h"
#include "export_worker.h"
#include "web/serve_command.h"
#include "web/web_user_command.h"

using namespace player;
using namespace calldeck;

namespace {

constexpr int kUsage = 2;

const char* const kScanHelp =
    "usage: calldeck scan [--main-folder DIR] [--allow-empty]\n"
    "  Stores DIR (default: the stored main folder) as the main folder and\n"
    "  rebuilds the record index from the recordings under it. A scan that\n"
    "  finds no recording leaves an index that holds some as it was, unless\n"
    "  --allow-empty is given.\n";

const char* const kSearchHelp =
    "usage: calldeck search [--start \"YYYY-MM-DD hh:mm:ss\"] [--end \"YYYY-MM-DD hh:mm:ss\"]\n"
    "                       [--channel N] [--number TEXT] [--duration \">=h:mm:ss\" | \"<=h:mm:ss\"]\n"
    "                       [--no-in] [--no-out] [--tag TAG] [--note WORDS] [--held] [--all]\n"
    "  --duration takes any number of hours: \">=100:00:00\". --tag finds the\n"
    "  recordings with the tag, --note those whose note holds every one of the\n"
    "  words (whole words, any case), --held those on hold.\n"
    "  Prints a header line, then one line per recording, its values separated\n"
    "  by tabs. Inside a value a backslash prints as \\\\, a tab as \\t, a line\n"
    "  feed as \\n and a carriage return as \\r; every other byte as it is.\n";

using CommandHelp = std::pair<std::string, const char*>;

const std::vector<CommandHelp>& CommandHelps() {
    static const std::vector<CommandHelp> helps{{"scan", kScanHelp},
                                                {"search", kSearchHelp},
                                                {"export", kExportHelp},
                                                {"audit", kAuditHelp},
                                                {"purge", kPurgeHelp},
                                                {"note", kNoteHelp},
                                                {"tag", kTagHelp},
                                                {"bookmark", kBookmarkHelp},
                                                {"hold", kHoldHelp},
                                                {"notes", kNotesHelp},
                                                {"serve", kServeHelp},
                                                {"web-user", kWebUserHelp}};
    return helps;
}

// The whole help: every command's usage in one block, a usage continued on
// further lines joined into one line ("Usage:" and "  or:", which help2man
// makes the manual page's synopsis of, a usage a line), then each command's
// text under its name.
std::string WholeHelp() {
    std::vector<std::string> usages;
    std::string texts;
    for (const auto& [command, help] : CommandHelps()) {
        texts += "\ncalldeck " + command + ":\n";
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t at = line.find_first_not_of(' ');
            if (line.starts_with("usage: "))
                usages.push_back(line.substr(7));
            else if (at != std::string::npos && at >= 7 && line.compare(at, 9, "calldeck ") == 0)
                usages.push_back(line.substr(at));  // another usage of the same command
            else if (at != std::string::npos && at >= 7 && !usages.empty())
                usages.back() += " " + line.substr(at);  // the usage goes on
            else
                texts += line + "\n";
        }
    }
    std::string whole;
    for (const std::string& usage : usages) whole += (whole.empty() ? "Usage: " : "  or:  ") + usage + "\n";
    return whole + texts + "\ncalldeck COMMAND --help shows one command's help.\n";
}

std::atomic<bool> g_interrupted{false};

// The scan window's counts, on one terminal line.
class TerminalProgress : public ParseFileProcess {
public:
    void ShowFileCount() override { Draw(false); }
    void ShowRecordFileCount() override { Draw(false); }
    void Finish() { Draw(true); }

private:
    void Draw(bool last) {
        auto now = std::chrono::steady_clock::now();
        if (!last && (!tty_ || now - drawn_ < std::chrono::milliseconds(100))) return;
        drawn_ = now;
        std::fprintf(stderr, "%sAll File: %d  Record File: %d%s", tty_ ? "\r" : "", FileCount, RecordFileCount,
                     last ? "\n" : "");
        std::fflush(stderr);
    }
    bool tty_ = isatty(STDERR_FILENO) == 1;
    std::chrono::steady_clock::time_point drawn_{};
};

int Scan(const std::vector<std::string>& args) {
    std::string folder = MyTrim(Process().MainFolder.str());
    EmptyScan empty = EmptyScan::Refuse;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--main-folder")
            folder = NextValue(args, i);
        else if (args[i] == "--allow-empty")
            empty = EmptyScan::Allow;
        else
            throw UsageError{"unknown option " + args[i]};
    }
    TerminalProgress progress;
    Process().frmParseFileProcess = &progress;
    progress.Load();
    std::signal(SIGINT, [](int) { g_interrupted = true; });
    Process().PumpEvents = [] {
        if (g_interrupted) Process().IsParsing = false;  // as the scan window's Cancel
    };
    std::int32_t count = 0;
    try {
        count = RebuildRecordIndex(folder, empty);
    } catch (const std::exception& e) {
        if (progress.FileCount > 0) progress.Finish();
        WriteRunLog("!RefreshFileInfo " + Describe(e));
        std::cerr << "calldeck: " << Describe(e) << "\n";
        if (dynamic_cast<const EmptyScanRefused*>(&e))
            std::cerr << "calldeck: scan --allow-empty empties the record index all the same\n";
        return 1;
    }
    progress.Finish();
    std::cout << "Record File = " << count << "\n";
    if (Process().OrphanedNotes) std::cout << OrphanedNotesText(Process().OrphanedNotes) << "\n";
    if (g_interrupted) {
        std::cerr << "calldeck: scan cancelled; the recordings found so far are kept\n";
        return 130;
    }
    return 0;
}

int Search(const std::vector<std::string>& args) {
    SearchRequest request = DefaultSearch();
    for (std::size_t i = 0; i < args.size(); ++i)
        if (!TakeSearchOption(args, i, request)) throw UsageError{"unknown option " + args[i]};
    Outcome searched;
    auto rs = GetRecordset(request.Statement(), &searched);
    if (!rs->IsOpen()) {
        const std::string trouble = IndexServerTrouble();
        std::cerr << "calldeck: the search failed: " << (trouble.empty() ? searched.reason : trouble) << "\n";
        return 1;
    }
    for (int col = 0; col < rs->FieldCount(); ++col) std::cout << (col ? "\t" : "") << rs->FieldName(col);
    std::cout << "\n";
    for (long row = 0; row < rs->RecordCount(); ++row) {
        for (int col = 0; col < rs->FieldCount(); ++col) {
            if (col) std::cout << "\t";
            // Escaped as the audit trail's fields are, so that every value
            // stays on its line and in its column, and the escapes cannot be
            // mistaken for the bytes they stand for.
            std::cout << EscapeAuditField(rs->Value(row, col).value_or(""));
        }
        std::cout << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto isHelp = [](const std::string& a) { return a == "--help" || a == "-h"; };
    if (args.empty() || isHelp(args[0])) {
        std::cout << WholeHelp();
        return args.empty() ? kUsage : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    SetAuditProgram("calldeck");
    // The export command's worker processes (export_worker.h); no index.
    if (command == "export-worker" && args.empty()) return RunExportWorker();
    const std::vector<CommandHelp>& helps = CommandHelps();
    const auto known = std::find_if(helps.begin(), helps.end(), [&](const auto& h) { return h.first == command; });
    if (known == helps.end()) {
        std::cerr << "calldeck: unknown command " << command << "\n" << WholeHelp();
        return kUsage;
    }
    const char* const commandHelp = known->second;
    // Help is answered before the index is opened: it needs none.
    if (std::any_of(args.begin(), args.end(), isHelp)) {
        std::cout << commandHelp;
        return 0;
    }
    InitPath();
    if (command == "audit" || command == "web-user") {  // their own files only, no index
        try {
            return command == "audit" ? RunAudit(args) : RunWebUser(args);
        } catch (const UsageError& e) {
            std::cerr << "calldeck: " << e.what << "\n" << commandHelp;
            return kUsage;
        } catch (const std::exception& e) {  // the site's server (--site) refused or did not answer
            std::cerr << "calldeck: the site's audit trail cannot be read: " << Describe(e) << "\n";
            return 1;
        }
    }
    if (command == "export") RemoveLeftoverCopies();  // plaintext an export killed earlier left behind
    ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
    if (!Process().PlayerConnection || !Process().PlayerConnection->IsOpen()) {
        if (!Process().SiteServerTrouble.empty())  // in words that never hold the connection line
            std::cerr << "calldeck: cannot open the site's record index: " << Process().SiteServerTrouble << "\n";
        else if (!Process().SiteServer.empty())  // its connection line may hold a password: the log has the reason
            std::cerr << "calldeck: cannot open the site's record index on its server (PlayerSite.conf); "
                         "the run log says why\n";
        else
            std::cerr << "calldeck: cannot open the record index " << Process().DatabaseFile << "\n";
        return 1;
    }
    int rc;
    try {
        rc = command == "scan"     ? Scan(args)
             : command == "search" ? Search(args)
             : command == "purge"  ? Purge(args)
             : command == "export" ? Export(args)
             : command == "serve"  ? RunServe(args)
                                   : RunNotesCommand(command, args);
    } catch (const UsageError& e) {
        std::cerr << "calldeck: " << e.what << "\n" << commandHelp;
        rc = kUsage;
    }
    CloseAccess();
    return rc;
}
