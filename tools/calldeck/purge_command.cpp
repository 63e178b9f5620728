// calldeck purge: see purge_command.h.
#include "purge_command.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>

#include "platform/sqlstore/error.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/text.h"
#include "player/core/files/delete_files.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/site_login.h"
#include "player/core/run_log_listener.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/file_utilities.h"
#include "search_options.h"

namespace calldeck {

const char* const kPurgeHelp =
    "usage: calldeck purge --older-than DAYS [search options] [--dry-run] [--yes]\n"
    "  Deletes the recordings (files and rows) recorded more than DAYS days ago\n"
    "  that the search options find (all of them without options). --dry-run\n"
    "  lists them and the bytes they hold and changes nothing. Not on a terminal\n"
    "  it wants --yes. A file that cannot be deleted keeps its row and is named;\n"
    "  so is a recording on hold, which keeps file and row.\n"
    "  Exit code 0 when every one went (but those on hold), 1 when any other stayed.\n";

namespace {

namespace fs = std::filesystem;
using player::LocalTime;

constexpr int kStayed = 1;
constexpr int kUsage = 2;

LocalTime SecondsLater(const LocalTime& t, std::int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds at = sys_days{year{t.year} / t.month / t.day} + hours{t.hour} + minutes{t.minute} +
                           std::chrono::seconds{t.second} + std::chrono::seconds{seconds};
    const sys_days day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss clock{at - day};
    return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(clock.hours().count()),
            int(clock.minutes().count()), int(clock.seconds().count())};
}

std::string Text(const LocalTime& t) { return player::FormatDate(t) + " " + player::FormatClock(t); }

struct Options {
    long days = -1;
    bool dryRun = false;
    bool yes = false;
    SearchRequest search;
};

Options ReadOptions(const std::vector<std::string>& args) {
    Options o;
    o.search = DefaultSearch();
    o.search.conditions.start = {1900, 1, 1, 0, 0, 0};
    const LocalTime now = player::Process().Now();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--older-than") {
            const std::string n = NextValue(args, i);
            std::size_t used = 0;
            try {
                o.days = std::stol(n, &used);
            } catch (const std::exception&) {
            }
            if (used != n.size() || o.days < 0 || o.days > 100000)
                throw UsageError{"--older-than wants a number of days, 0 to 100000, not \"" + n + "\""};
        } else if (a == "--dry-run") {
            o.dryRun = true;
        } else if (a == "--yes") {
            o.yes = true;
        } else if (!TakeSearchOption(args, i, o.search)) {
            throw UsageError{"unknown option " + a};
        }
    }
    if (o.days < 0) throw UsageError{"purge wants --older-than DAYS"};
    if (o.search.all) throw UsageError{"purge takes no --all: it deletes only what is older than DAYS"};
    LocalTime& end = o.search.conditions.end;
    const LocalTime last = SecondsLater(now, -o.days * 86400 - 1);  // the newest RecordDateTime that goes
    if (Text(last) < Text(end)) end = last;
    return o;
}

std::uintmax_t SizeOf(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Asks on the terminal; true for "y" or "yes".
bool Confirmed(long count, std::uintmax_t bytes, long days) {
    std::cerr << "Delete " << count << " recordings older than " << days << " days (" << bytes << " bytes)? [y/N] ";
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

int Purge(const std::vector<std::string>& args) {
    const Options options = ReadOptions(args);
    // The run log's last line: why a file could not be deleted.
    player::RunLogListener log;
    player::Outcome searched;
    auto rs = player::GetRecordset(player::MakeCondition(options.search.conditions), &searched);
    if (!rs->IsOpen()) {
        std::cerr << "calldeck: the search failed: " << searched.reason << "\n";
        return kStayed;
    }
    const int column = rs->FieldIndex("FileFullName"), dated = rs->FieldIndex("RecordDateTime");
    const long count = rs->RecordCount();
    std::uintmax_t bytes = 0;
    long gone = 0;
    for (long r = 0; r < count; ++r) {
        const std::string path = player::text::Trim(std::string(rs->Value(r, column).value_or("")));
        const std::uintmax_t size = SizeOf(path);
        bytes += size;
        gone += Exists(path) ? 0 : 1;
        if (options.dryRun)
            std::cout << player::EscapeAuditField(path) << "\t" << rs->Value(r, dated).value_or("") << "\t" << size
                      << "\n";
    }
    if (options.dryRun) {
        std::cout << "would delete " << count << " recordings (" << gone
                  << " of them without their file already), freeing " << bytes << " bytes\n";
        return 0;
    }
    if (count == 0) {
        std::cout << "no recording is older than " << options.days << " days\n";
        return 0;
    }
    if (const std::string why = player::WhyNoDelete(); !why.empty()) {
        std::cerr << "calldeck: " << why << " Nothing was deleted.\n";
        return 1;
    }
    if (!options.yes) {
        if (::isatty(STDIN_FILENO) != 1) {
            std::cerr << "calldeck: purge would delete " << count << " recordings; not run on a terminal, it "
                         "wants --yes\n";
            return kUsage;
        }
        if (!Confirmed(count, bytes, options.days)) return 0;
    }

    long went = 0, kept = 0, changed = 0, held = 0;
    std::uintmax_t freed = 0;
    bool stopped = false;
    try {
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
            const std::string path = player::text::Trim(rs->Field("FileFullName"));
            const std::uintmax_t size = SizeOf(path);
            try {
                log.Clear();
                if (player::DeleteRowWithFile(*rs, "purge", [&] { return !Exists(path) || player::MyDelFIle(path); })) {
                    ++went;
                    freed += size;
                    continue;
                }
                // MyDelFIle's run-log line: "!MyDelFIle <why> file = <path>".
                const std::string said = log.Last();
                const std::string prefix = "!MyDelFIle ";
                const std::size_t end = said.rfind(" file = ");
                const std::string why = said.starts_with(prefix) && end != std::string::npos && end >= prefix.size()
                                            ? said.substr(prefix.size(), end - prefix.size())
                                            : "the file could not be deleted";
                std::cerr << "calldeck: kept " << path << ": " << why << "\n";
                ++kept;
            } catch (const player::RecordingOnHold& e) {
                std::cerr << "calldeck: " << e.what() << "\n";
                ++held;
            } catch (const platform::sqlstore::Error& e) {
                if (e.Number() != platform::sqlstore::kRowChanged) throw;
                std::cerr << "calldeck: kept " << path << ": its row changed in the record index since the search\n";
                ++changed;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "calldeck: the purge stopped: " << player::Describe(e) << "\n";
        stopped = true;
    }
    std::cout << "deleted " << went << " recordings, freed " << freed << " bytes";
    if (kept) std::cout << "; kept " << kept << ": the file could not be deleted, the row stays";
    if (changed)
        std::cout << "; kept " << changed << ": the row changed in the record index since the search, run again";
    if (stopped) std::cout << "; stopped before the end";
    if (held) std::cout << "; " << player::HeldKeptText(held);
    std::cout << "\n";
    player::WriteRunLog("calldeck purge --older-than " + std::to_string(options.days) + ": deleted " +
                        std::to_string(went) + ", kept " + std::to_string(kept + changed + held) +
                        (held ? " (" + player::HeldKeptText(held) + ")" : std::string()));
    return kept + changed > 0 || stopped ? kStayed : 0;
}

}  // namespace calldeck
