// calldeck: the player's index and search without a window.
//
//   calldeck scan [--main-folder DIR]
//   calldeck search [--start "YYYY-MM-DD hh:mm:ss"] [--end ...] [--channel N]
//                   [--number TEXT] [--duration ">=h:mm:ss" | "<=h:mm:ss"]
//                   [--no-in] [--no-out] [--all]
//
// It is the same core the main window runs, on the same program folder
// (Player.mdb, PlayerMisc.cfg, PlayerLog beside the executable, or in
// CALLDECK_PROGRAM_FOLDER). "scan" is the window's rebuild: it stores DIR
// (or the stored main folder) as the main folder, empties and refills the
// index, shows the counts on the terminal and prints "Record File = N";
// Ctrl+C is the scan window's Cancel, and the rows found so far stay. A
// rebuild that cannot be done or stored prints why and exits 1, and the
// index and the stored main folder stay as they were.
// "search" builds the statement the window's condition controls would,
// starting from the window's own defaults, and prints the rows as
// tab-separated values under a header line ("--all" is "Refresh Recordset"),
// a backslash, tab, line feed or carriage return in a value written as
// \\, \t, \n or \r so that every value reads back exactly.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/jet_date.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/paths.h"
#include "player/core/process_state.h"
#include "player/core/record_database.h"
#include "player/core/record_rebuild.h"
#include "player/core/record_scan.h"
#include "player/core/run_log.h"
#include "player/core/search_conditions.h"
#include "player/core/utilities.h"
#include "player/core/run_error.h"

using namespace player;

namespace {

constexpr int kUsage = 2;

const char* const kScanHelp =
    "usage: calldeck scan [--main-folder DIR]\n"
    "  Stores DIR (default: the stored main folder) as the main folder and\n"
    "  rebuilds the record index from the recordings under it.\n";

const char* const kSearchHelp =
    "usage: calldeck search [--start \"YYYY-MM-DD hh:mm:ss\"] [--end \"YYYY-MM-DD hh:mm:ss\"]\n"
    "                       [--channel N] [--number TEXT] [--duration \">=h:mm:ss\" | \"<=h:mm:ss\"]\n"
    "                       [--no-in] [--no-out] [--all]\n"
    "  --duration takes any number of hours: \">=100:00:00\".\n"
    "  Prints a header line, then one line per recording, its values separated\n"
    "  by tabs. Inside a value a backslash prints as \\\\, a tab as \\t, a line\n"
    "  feed as \\n and a carriage return as \\r; every other byte as it is.\n";

const std::string kHelp = std::string(kScanHelp) + kSearchHelp + "calldeck COMMAND --help shows one command's help.\n";

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
        if (progress.FileCount > 0) progress.Finish();
        WriteRunLog("!RefreshFileInfo " + Describe(e));
        std::cerr << "calldeck: " << Describe(e) << "\n";
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

// One value of a row, escaped so that every value stays on its line and in
// its column, and the escapes themselves cannot be mistaken for the bytes
// they stand for (a name holding "\t" prints as \\t, one holding a tab as \t).
void PrintCell(std::string_view v) {
    for (char c : v) {
        switch (c) {
        case '\\': std::cout << "\\\\"; break;
        case '\t': std::cout << "\\t"; break;
        case '\n': std::cout << "\\n"; break;
        case '\r': std::cout << "\\r"; break;
        default: std::cout << c;
        }
    }
}

// ">=h:mm:ss" or "<=h:mm:ss" (or "hh:mm"), any number of hours, as the
// compare list's index and the duration the statement compares with.
std::pair<int, LocalTime> DurationArgument(const std::string& text) {
    const bool atLeast = text.rfind(">=", 0) == 0;
    const bool atMost = text.rfind("<=", 0) == 0;
    std::optional<std::int64_t> seconds;
    if (atLeast || atMost) {
        const std::string_view value = std::string_view(text).substr(2);
        seconds = platform::sqlstore::ParseDuration(value);
        if (auto time = platform::sqlstore::ParseJetDate(value); !seconds && time && !time->hasDate)
            seconds = time->hour * 3600 + time->minute * 60 + time->second;
    }
    if (!seconds || *seconds / 3600 > std::numeric_limits<int>::max())
        throw UsageError{"--duration wants \">=h:mm:ss\" or \"<=h:mm:ss\", not \"" + text + "\""};
    const LocalTime duration{0, 0, 0, static_cast<int>(*seconds / 3600), static_cast<int>(*seconds / 60 % 60),
                             static_cast<int>(*seconds % 60)};
    return {atLeast ? 1 : 2, duration};
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
            std::tie(c.compareIndex, c.duration) = DurationArgument(Next(args, i));
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
    auto isHelp = [](const std::string& a) { return a == "--help" || a == "-h"; };
    if (args.empty() || isHelp(args[0])) {
        std::cout << kHelp;
        return args.empty() ? kUsage : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command != "scan" && command != "search") {
        std::cerr << "calldeck: unknown command " << command << "\n" << kHelp;
        return kUsage;
    }
    const char* const commandHelp = command == "scan" ? kScanHelp : kSearchHelp;
    // Help is answered before the index is opened: it needs none.
    if (std::any_of(args.begin(), args.end(), isHelp)) {
        std::cout << commandHelp;
        return 0;
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
        std::cerr << "calldeck: " << e.what << "\n" << commandHelp;
        rc = kUsage;
    }
    CloseAccess();
    return rc;
}
