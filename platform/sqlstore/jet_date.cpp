// Date-time and duration texts of the record store: see jet_date.h.
#include "jet_date.h"

#include <array>

namespace platform::sqlstore {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Up to four fields of decimal digits and their widths, without touching
// the heap: the scan converts every recording's date-time through here.
struct Fields {
    std::array<int, 4> value{};
    std::array<std::size_t, 4> width{};
    std::size_t count = 0;
};

// Splits s at sep into fields of 1..maxDigits decimal digits each (four at
// most).
std::optional<Fields> DigitFields(std::string_view s, char sep, std::size_t maxDigits) {
    Fields out;
    while (true) {
        std::size_t end = s.find(sep);
        std::string_view field = s.substr(0, end);
        if (field.empty() || field.size() > maxDigits || out.count == out.value.size()) return std::nullopt;
        int value = 0;
        for (char c : field) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        out.value[out.count] = value;
        out.width[out.count++] = field.size();
        if (end == std::string_view::npos) return out;
        s.remove_prefix(end + 1);
    }
}

// The digits of v (never negative here), zero-padded to width, appended to
// out.
void AppendPadded(std::string& out, long long v, std::size_t width) {
    char digits[24];
    std::size_t n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v > 0);
    while (n < width) digits[n++] = '0';
    while (n > 0) out.push_back(digits[--n]);
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int y, int m) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

bool ParseDatePart(std::string_view s, JetDate& d) {
    const char sep = s.find('-') != std::string_view::npos ? '-' : '/';
    auto f = DigitFields(s, sep, 4);
    if (!f || f->count != 3) return false;
    const auto& v = f->value;
    const auto& widths = f->width;
    int y, m, day;
    std::size_t yearWidth;
    if (sep == '-' || widths[0] >= 3) {  // year first
        y = v[0], m = v[1], day = v[2], yearWidth = widths[0];
        if (widths[1] > 2 || widths[2] > 2) return false;
    } else {  // month/day/year
        m = v[0], day = v[1], y = v[2], yearWidth = widths[2];
        if (widths[0] > 2 || widths[1] > 2) return false;
    }
    if (yearWidth <= 2) y += y < 30 ? 2000 : 1900;
    if (y < 100 || y > 9999 || m < 1 || m > 12 || day < 1 || day > DaysIn(y, m)) return false;
    d.year = y, d.month = m, d.day = day, d.hasDate = true;
    return true;
}

bool ParseTimePart(std::string_view s, JetDate& d) {
    auto f = DigitFields(s, ':', 2);
    if (!f || f->count < 2 || f->count > 3) return false;
    int h = f->value[0], m = f->value[1], sec = f->count == 3 ? f->value[2] : 0;
    if (h > 23 || m > 59 || sec > 59) return false;
    d.hour = h, d.minute = m, d.second = sec;
    return true;
}

}  // namespace

std::optional<JetDate> ParseJetDate(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    if (s.empty()) return std::nullopt;
    JetDate d;
    std::size_t blank = s.find(' ');
    std::string_view first = s.substr(0, blank);
    std::string_view rest = blank == std::string_view::npos ? std::string_view{} : TrimBlanks(s.substr(blank));
    if (first.find(':') != std::string_view::npos) {  // a time alone
        if (!rest.empty() || !ParseTimePart(first, d)) return std::nullopt;
        return d;
    }
    if (!ParseDatePart(first, d)) return std::nullopt;
    if (!rest.empty() && !ParseTimePart(rest, d)) return std::nullopt;
    return d;
}

std::string CanonicalDateTime(const JetDate& d) {
    std::string out;
    out.reserve(19);  // "YYYY-MM-DD hh:mm:ss", short enough to stay off the heap
    AppendPadded(out, d.year, 4);
    out.push_back('-');
    AppendPadded(out, d.month, 2);
    out.push_back('-');
    AppendPadded(out, d.day, 2);
    out.push_back(' ');
    AppendPadded(out, d.hour, 2);
    out.push_back(':');
    AppendPadded(out, d.minute, 2);
    out.push_back(':');
    AppendPadded(out, d.second, 2);
    return out;
}

std::optional<std::string> CanonicalDateTime(std::string_view text) {
    auto d = ParseJetDate(text);
    if (!d) return std::nullopt;
    return CanonicalDateTime(*d);
}

std::optional<std::int64_t> ParseDuration(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    std::size_t last = s.rfind(':');
    if (last == std::string_view::npos || last == 0) return std::nullopt;
    std::size_t mid = s.rfind(':', last - 1);
    if (mid == std::string_view::npos) return std::nullopt;
    std::string_view hours = s.substr(0, mid);
    if (hours.empty() || hours.size() > 12) return std::nullopt;
    std::int64_t h = 0;
    for (char c : hours) {
        if (c < '0' || c > '9') return std::nullopt;
        h = h * 10 + (c - '0');
    }
    auto ms = DigitFields(s.substr(mid + 1), ':', 2);
    if (!ms || ms->count != 2 || ms->value[0] > 59 || ms->value[1] > 59) return std::nullopt;
    return h * 3600 + ms->value[0] * 60 + ms->value[1];
}

std::string CanonicalDuration(std::int64_t seconds) {
    std::string out;
    AppendPadded(out, seconds / 3600, 2);
    out.push_back(':');
    AppendPadded(out, seconds / 60 % 60, 2);
    out.push_back(':');
    AppendPadded(out, seconds % 60, 2);
    return out;
}

std::optional<std::string> CanonicalDuration(std::string_view text) {
    auto s = ParseDuration(text);
    if (!s) return std::nullopt;
    return CanonicalDuration(*s);
}

}  // namespace platform::sqlstore
