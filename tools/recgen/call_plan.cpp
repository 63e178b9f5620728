// The plan of a sample tree: see call_plan.h.
#include "call_plan.h"

#include <cstdio>
#include <set>

#include "player/core/convert/recording_format.h"

namespace recgen {
namespace {

constexpr int kBoards = 2;
constexpr int kChannelsPerBoard = 16;
const char* const kSupervisorFolder = "O'Brien's calls";

std::string Digits(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

struct Day {
    int year, month, day;
};

// The n-th day after the first, by the calendar.
Day AddDays(Day d, int n) {
    static const int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (; n > 0; --n) {
        const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
        const int length = kLength[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
        if (++d.day > length) {
            d.day = 1;
            if (++d.month > 12) d.month = 1, ++d.year;
        }
    }
    return d;
}

std::string DayFolder(const Day& d) { return Digits(d.year, 4) + Digits(d.month, 2) + Digits(d.day, 2); }

std::string CallerNumber(Random& r) {
    static const char* const kPrefixes[] = {"0755", "0208", "555", "8621", "13"};
    std::string n = kPrefixes[r.Between(0, 4)];
    const int rest = r.Between(4, 7);
    for (int i = 0; i < rest; ++i) n += static_cast<char>('0' + r.Between(0, 9));
    return n;
}

int Length(Random& r) {
    if (r.Chance(10)) return r.Between(90, 140);  // the long calls a duration search looks for
    return r.Between(3, 30);
}

// The extensions that hold the recorder's raw G.729 frames, in the table's
// order (VC8, NTC, VD8, DEC).
const std::vector<std::string>& G729Extensions() {
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> found;
        for (const player::RecordingFormat& f : player::kRecordingFormats)
            if (f.converter == player::Converter::VelkCodec && f.converterType == player::kG729Code)
                found.emplace_back(f.extension);
        return found;
    }();
    return extensions;
}

static_assert(player::FindRecordingFormat("WAV")->cryptType && player::FindRecordingFormat("NTC")->cryptType,
              "the plan encrypts A-law WAV and G.729 NTC recordings");

Container PickContainer(Random& r, std::string& extension) {
    const std::vector<std::string>& g729 = G729Extensions();
    const int pick = r.Between(1, 100);
    if (pick <= 20) return extension = "WAV", Container::PcmWave;
    if (pick <= 38) return extension = "WAV", Container::AlawWave;
    if (pick <= 46) return extension = "VOC", Container::Voc;
    if (pick <= 54) return extension = "VC2", Container::Vc2;
    if (pick <= 62) return extension = "VC5", Container::Vc5;
    if (pick <= 67) return extension = "WAV", Container::EncryptedAlawWave;
    if (pick <= 72) return extension = "NTC", Container::EncryptedG729;
    extension = g729[r.Between(0, static_cast<int>(g729.size()) - 1)];
    return Container::G729;
}

bool IsEncrypted(Container c) { return c == Container::EncryptedAlawWave || c == Container::EncryptedG729; }

// The recorder's name for a call, in one of its three formats.
std::string NameOf(int format, const Day& d, int second, Recording& call, const std::string& extension) {
    const std::string clock = Digits(second / 3600, 2) + Digits(second / 60 % 60, 2) + Digits(second % 60, 2);
    const std::string date = DayFolder(d);
    switch (format) {
    case 1:
        return date + clock + Digits(call.channel, 4) + call.number + (call.direction == "in" ? "1" : "0") + "." +
               extension;
    case 2:
        call.number.clear();
        call.direction.clear();
        return "REC_" + date + clock + "_C" + std::to_string(call.channel) + "." + extension;
    default:
        call.direction.clear();
        return "CH_" + call.number + "_" + date.substr(2) + clock + "_C" + std::to_string(call.channel) + "." +
               extension;
    }
}

}  // namespace

std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Random::Between(int low, int high) {
    return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
}

std::vector<Recording> MakePlan(const PlanOptions& options) {
    Random r(options.seed);
    const Day first{options.firstYear, options.firstMonth, options.firstDay};
    std::vector<Recording> plan;
    std::set<std::string> taken;
    while (static_cast<int>(plan.size()) < options.calls) {
        Recording call;
        const int board = r.Between(1, kBoards);
        const Day day = AddDays(first, r.Between(0, options.days - 1));
        const int second = r.Between(8 * 3600, 18 * 3600 - 1);
        call.channel = (board - 1) * kChannelsPerBoard + r.Between(1, kChannelsPerBoard);
        call.number = CallerNumber(r);
        call.direction = r.Chance(55) ? "in" : "out";
        call.seconds = Length(r);
        std::string extension;
        call.container = PickContainer(r, extension);
        const int drawn = r.Between(1, 3);
        const int format = IsEncrypted(call.container) ? 1 : drawn;
        call.name = NameOf(format, day, second, call, extension);
        if (IsEncrypted(call.container)) call.name.insert(call.name.size() - 4, "E");
        // A few of the supervisor's calls, the first among them, are kept in a
        // folder of his own.
        call.folder = plan.empty() || r.Chance(4) ? kSupervisorFolder : "Board" + std::to_string(board) + "/" + DayFolder(day);
        if (!taken.insert(call.name).second) continue;
        plan.push_back(call);
    }

    // What else lies in a recorder's tree.
    const std::string day = "Board1/" + DayFolder(first);
    const std::string next = "Board2/" + DayFolder(AddDays(first, 1));
    auto odd = [&](const std::string& folder, const std::string& name, int seconds, Container c, bool indexable) {
        Recording f;
        f.folder = folder;
        f.name = name;
        f.seconds = seconds;
        f.container = c;
        f.indexable = indexable;
        f.channel = 1;
        plan.push_back(f);
    };
    odd(day, "recorder.log", 0, Container::PcmWave, false);
    odd(day, DayFolder(first) + "101500.WAV", 3, Container::PcmWave, false);  // no channel
    odd(next, "REC_" + Digits(first.year, 4) + "0231120000_C3.DEC", 5, Container::G729, false);  // 31 February
    odd(next, "CH_5551234_" + DayFolder(first).substr(2) + "101500_C129.VC8", 5, Container::G729, false);
    odd(next, "REC_2024_0304_1015_C5_B.WAV", 3, Container::PcmWave, false);  // five pieces
    odd(day, "REC_" + DayFolder(first) + "235959_C9.NTC", 0, Container::G729, true);  // cut off: empty
    return plan;
}

}  // namespace recgen
