// calldeck: the search options; see search_options.h.
#include "search_options.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

#include "platform/sqlstore/jet_date.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/file_utilities.h"

namespace calldeck {
namespace {

using player::LocalTime;

LocalTime DateTimeArgument(const std::string& option, const std::string& text) {
    auto d = platform::sqlstore::ParseJetDate(text);
    if (!d || !d->hasDate) throw UsageError{option + " wants \"YYYY-MM-DD hh:mm:ss\", not \"" + text + "\""};
    return {d->year, d->month, d->day, d->hour, d->minute, d->second};
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

}  // namespace

std::string NextValue(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
    return args[++i];
}

std::string SearchRequest::Statement() const {
    return all ? player::kShowAllRecordStatement : player::MakeCondition(conditions);
}

SearchRequest DefaultSearch() {
    return {player::InitMainFormConditions(player::SystemNow(), player::Process().MainFolder.str()), false};
}

bool TakeSearchOption(const std::vector<std::string>& args, std::size_t& i, SearchRequest& request) {
    player::SearchConditions& c = request.conditions;
    const std::string& a = args[i];
    if (a == "--start") {
        c.start = DateTimeArgument(a, NextValue(args, i));
    } else if (a == "--end") {
        c.end = DateTimeArgument(a, NextValue(args, i));
    } else if (a == "--channel") {
        const std::string n = NextValue(args, i);
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
        c.number = NextValue(args, i);
    } else if (a == "--duration") {
        std::tie(c.compareIndex, c.duration) = DurationArgument(NextValue(args, i));
    } else if (a == "--no-in") {
        c.callIn = false;
    } else if (a == "--no-out") {
        c.callOut = false;
    } else if (a == "--tag") {
        c.tag = NextValue(args, i);
    } else if (a == "--note") {
        c.noteWords = NextValue(args, i);
    } else if (a == "--held") {
        c.heldOnly = true;
    } else if (a == "--all") {
        request.all = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace calldeck
