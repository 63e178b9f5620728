// calldeck: the player's index and search without a window.
//
//   calldeck scan [--main-folder DIR]
//   calldeck search [--start "YYYY-MM-DD hh:mm:ss"] [--end ...] [--channel N]
//                   [--number TEXT] [--duration ">=hh:mm:ss" | "<=hh:mm:ss"]
//                   [--no-in] [--no-out] [--all]
//
// It is the same core the main window runs, on the same program folder
// (Player.mdb, PlayerMisc.cfg, PlayerLog beside the executable, or in
// CALLDECK_PROGRAM_FOLDER). "scan" is the window's rebuild: it stores DIR
// (or the stored main folder) as the main folder, empties and refills the
// index, shows the counts on the terminal and prints "Record File = N";
// Ctrl+C is the scan window's Cancel, and the rows found so far stay.
// "search" builds the statement the window's condition controls would,
// starting from the window's own defaults, and prints the rows as
// tab-separated values under a header line ("--all" is "Refresh Recordset").
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/jet_date.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/paths.h"
#include "player/core/process_state.h"
#include "player/core/record_database.h"
#include "player/core/record_scan.h"
#include "player/core/run_log.h"
#include "player/core/search_conditions.h"
#include "player/core/utilities.h"
#include "player/core/run_error.h"

using namespace player;

namespace {

constexpr int kUsage = 2;

const char* const kHelp =
    "usage: calldeck scan [--main-folder DIR]\n"
    "       calldeck search [--start \"YYYY-MM-DD hh:mm:ss\"] [--end \"YYYY-MM-DD hh:mm:ss\"]\n"
    "                       [--channel N] [--number TEXT] [--duration \">=hh:mm:ss\" | \"<=hh:mm:ss\"]\n"
    "                       [--no-in] [--no-out] [--all]\n";

struct UsageError {
    std::string what;
};

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

std::string Next(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
    return args[++i];
}

LocalTime DateTimeArgument(const std::string& option, const std::string& text) {
    auto d = platform::sqlstore::ParseJetDate(text);
    if (!d || !d->hasDate) throw UsageError{option + " wants \"YYYY-MM-DD hh:mm:ss\", not \"" + text + "\""};
    return {d->year, d->month, d->day, d->hour, d->minute, d->second};
}

int Scan(const std::vector<std::string>& args) {
    std::string folder = MyTrim(Process().MainFolder.str());
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--main-folder")
            folder = Next(args, i);
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
        count = RebuildRecordIndex(folder);
    } catch (const std::exception& e) {
        WriteRunLog("!RefreshFileInfo " + Describe(e));
        std::cerr << "calldeck: cannot scan " << folder << ": " << Describe(e) << "\n";
        return 1;
    }
    progress.Finish();
    std::cout << "Record File = " << count << "\n";
    if (g_interrupted) {
        std::cerr << "calldeck: scan cancelled; the recordings found so far are kept\n";
        return 130;
    }
    return 0;
}

void PrintCell(std::string_view v) {
    for (char c : v) {
        if (c == '\t')
            std::cout << "\\t";
        else if (c == '\n')
            std::cout << "\\n";
        else if (c == '\r')
            std::cout << "\\r";
        else
            std::cout << c;
    }
}

int Search(const std::vector<std::string>& args) {
    SearchConditions c = InitMainFormConditions(SystemNow(), Process().MainFolder.str());
    bool all = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--start") {
            c.start = DateTimeArgument(a, Next(args, i));
        } else if (a == "--end") {
            c.end = DateTimeArgument(a, Next(args, i));
        } else if (a == "--channel") {
            const std::string n = Next(args, i);
            std::size_t used = 0;
            int channel = -1;
            try {
                channel = std::stoi(n, &used);
            } catch (const std::exception&) {
            }
            if (used != n.size() || channel < 0 || channel > 128)
                throw UsageError{"--channel wants 0 (all) to 128, not \"" + n + "\""};
            c.channelIndex = channel;
        } else if (a == "--number") {
            c.number = Next(args, i);
        } else if (a == "--duration") {
            const std::string d = Next(args, i);
            auto time = d.size() > 2 ? platform::sqlstore::ParseJetDate(d.substr(2)) : std::nullopt;
            if ((d.rfind(">=", 0) != 0 && d.rfind("<=", 0) != 0) || !time || time->hasDate)
                throw UsageError{"--duration wants \">=hh:mm:ss\" or \"<=hh:mm:ss\", not \"" + d + "\""};
            c.compareIndex = d[0] == '>' ? 1 : 2;
            c.duration = {0, 0, 0, time->hour, time->minute, time->second};
        } else if (a == "--no-in") {
            c.callIn = false;
        } else if (a == "--no-out") {
            c.callOut = false;
        } else if (a == "--all") {
            all = true;
        } else {
            throw UsageError{"unknown option " + a};
        }
    }
    std::string lastLog;
    Process().StatusBarEcho = [&](const std::string& line) { lastLog = line; };
    auto rs = GetRecordset(all ? kShowAllRecordStatement : MakeCondition(c));
    if (!rs->IsOpen()) {
        std::cerr << "calldeck: the search failed:" << lastLog << "\n";
        return 1;
    }
    for (int col = 0; col < rs->FieldCount(); ++col) std::cout << (col ? "\t" : "") << rs->FieldName(col);
    std::cout << "\n";
    for (long row = 0; row < rs->RecordCount(); ++row) {
        for (int col = 0; col < rs->FieldCount(); ++col) {
            if (col) std::cout << "\t";
            PrintCell(rs->Value(row, col).value_or(""));
        }
        std::cout << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kHelp;
        return args.empty() ? kUsage : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command != "scan" && command != "search") {
        std::cerr << "calldeck: unknown command " << command << "\n" << kHelp;
        return kUsage;
    }
    InitPath();
    ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
    if (!Process().PlayerConnection || !Process().PlayerConnection->IsOpen()) {
        std::cerr << "calldeck: cannot open the record index " << Process().DatabaseFile << "\n";
        return 1;
    }
    int rc;
    try {
        rc = command == "scan" ? Scan(args) : Search(args);
    } catch (const UsageError& e) {
        std::cerr << "calldeck: " << e.what << "\n" << kHelp;
        rc = kUsage;
    }
    CloseAccess();
    return rc;
}
