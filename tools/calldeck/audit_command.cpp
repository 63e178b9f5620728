// calldeck audit: see audit_command.h.
#include "audit_command.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>

#include "platform/sqlstore/jet_date.h"
#include "player/core/audit/audit_record.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/audit/audit_verify.h"
#include "player/core/audit/site_audit.h"
#include "player/core/process_state.h"
#include "platform/sqlstore/connection.h"
#include "player/core/text.h"
#include "search_options.h"

namespace calldeck {

const char* const kAuditHelp =
    "usage: calldeck audit verify [--expect-last HASH] [--site | FILES]\n"
    "       calldeck audit head [--site | FILES]\n"
    "       calldeck audit show [search options] [--act ACT]... [--site | FILES]\n"
    "  verify checks the audit trail's chain (every daily file of PlayerAudit, or\n"
    "  FILES) and names the first record that was changed, removed, inserted or\n"
    "  moved, or a daily file missing from the series; exit 0 when whole, 1 when not.\n"
    "  A trail rewritten with every hash computed anew is whole in itself: with\n"
    "  --expect-last, verify also checks the chain's last hash against HASH, one\n"
    "  kept apart from this machine (from audit head), and names a difference.\n"
    "  head prints the chain's last hash, after a verify of the chain.\n"
    "  show prints the records as tab-separated values under a header line: those\n"
    "  of the acts named (play, get-wave-file, pickup-all, export, delete,\n"
    "  delete-all, decrypt, purge), about recordings the search options find.\n"
    "  --site works on the site's one trail on its server (PlayerSite.conf)\n"
    "  instead of this desk's files; reading it needs the calldeck_auditor role.\n";

namespace {

namespace fs = std::filesystem;
using player::AuditField;

std::vector<fs::path> FilesOr(const std::vector<fs::path>& named) {
    return named.empty() ? player::AuditFiles(player::AuditFolder()) : named;
}

// A session with the site's server, for --site.
std::shared_ptr<platform::sqlstore::Connection> SiteSession() {
    if (player::Process().SiteServer.empty())
        throw UsageError{"--site needs a site file (PlayerSite.conf) in the program folder"};
    return player::SiteConnection();
}

int Verify(const std::vector<std::string>& args, bool headOnly = false) {
    std::vector<fs::path> named;
    std::string expected;
    bool site = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--expect-last" && !headOnly)
            expected = NextValue(args, i);
        else if (a == "--site")
            site = true;
        else if (a.starts_with("-"))
            throw UsageError{"unknown option " + a};
        else
            named.emplace_back(a);
    }
    if (site && !named.empty()) throw UsageError{"--site and FILES exclude each other"};
    const auto files = site ? std::vector<fs::path>{} : FilesOr(named);
    if (!site && files.empty()) {
        std::cout << "no audit files in " << player::AuditFolder().string() << "\n";
        return 0;
    }
    const player::AuditVerification v = site ? player::VerifySiteAudit(*SiteSession()) : player::VerifyAudit(files);
    for (const std::string& note : v.notes) std::cout << "note: " << note << "\n";
    if (!v.whole) {
        std::cout << "audit trail tampered: " << v.problem << "\n";
        return 1;
    }
    if (headOnly) {
        std::cout << v.lastHash << "\n";
        return 0;
    }
    std::transform(expected.begin(), expected.end(), expected.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!expected.empty() && v.lastHash != expected) {
        std::cout << "audit trail tampered: its last hash " << v.lastHash << " is not the one kept apart, " << expected
                  << " (records were rewritten, added or taken off its end)\n";
        return 1;
    }
    if (site)
        std::cout << "site audit trail whole: " << v.records << " records on the server; last hash " << v.lastHash
                  << "\n";
    else
        std::cout << "audit trail whole: " << v.records << " records in " << files.size() << " files; last hash "
                  << v.lastHash << "\n";
    return 0;
}

// The search options a record must meet; only those given count.
struct Filter {
    SearchRequest search;
    bool dates = false;
    std::set<std::string> acts;

    bool Meets(const player::AuditLineFields& line) const {
        const auto field = [&](std::size_t i) { return player::UnescapeAuditField(line.field[i]); };
        if (!acts.empty() && !acts.contains(field(player::kAct))) return false;
        const player::SearchConditions& c = search.conditions;
        if (dates) {
            const std::string at = field(7);
            const auto text = [](const player::LocalTime& t) { return FormatDate(t) + " " + FormatClock(t); };
            if (at.empty() || at < text(c.start) || at > text(c.end)) return false;
        }
        if (c.channelIndex > 0 && field(8) != player::text::ZeroPad(c.channelIndex, 4)) return false;
        if (const std::string number = player::text::Trim(c.number);
            !number.empty() && field(9).find(number) == std::string::npos)
            return false;
        if (c.compareIndex == 1 || c.compareIndex == 2) {
            const auto seconds = platform::sqlstore::ParseDuration(field(10));
            const std::int64_t limit =
                std::int64_t(c.duration.hour) * 3600 + c.duration.minute * 60 + c.duration.second;
            if (!seconds || (c.compareIndex == 1 ? *seconds < limit : *seconds > limit)) return false;
        }
        const std::string direction = field(11);
        return (c.callIn || direction != "IN") && (c.callOut || direction != "OUT");
    }
};

int Show(const std::vector<std::string>& args) {
    Filter filter;
    filter.search.conditions = player::InitMainFormConditions(player::SystemNow(), "");
    std::vector<fs::path> named;
    bool site = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--site") {
            site = true;
        } else if (a == "--act") {
            filter.acts.insert(NextValue(args, i));
        } else if (TakeSearchOption(args, i, filter.search)) {
            filter.dates = filter.dates || a == "--start" || a == "--end";
        } else if (a.starts_with("-")) {
            throw UsageError{"unknown option " + a};
        } else {
            named.emplace_back(a);
        }
    }
    std::cout << "Seq\tTime\tUser\tHost\tProgram\tAct\tFileFullName\tRecordDateTime\tRecordChannel\tCallNumber\t"
                 "RecordDuration\tCallDirection\tTarget\tResult\tHash\n";
    if (site) {
        if (!named.empty()) throw UsageError{"--site and FILES exclude each other"};
        for (const std::string& line : player::SiteAuditLines(*SiteSession())) {
            const auto fields = player::SplitAuditLine(line);
            if (fields && filter.Meets(*fields)) std::cout << line << "\n";
        }
        return 0;
    }
    auto files = FilesOr(named);
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) std::cerr << "calldeck: cannot read " << file.string() << "\n";
        for (std::string line; std::getline(in, line);) {
            const auto fields = player::SplitAuditLine(line);
            if (fields && filter.Meets(*fields)) std::cout << line << "\n";
        }
    }
    return 0;
}

}  // namespace

int RunAudit(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"audit wants verify, head or show"};
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "verify") return Verify(rest);
    if (args[0] == "head") return Verify(rest, /*headOnly=*/true);
    if (args[0] == "show") return Show(rest);
    throw UsageError{"audit wants verify, head or show, not " + args[0]};
}

}  // namespace calldeck
