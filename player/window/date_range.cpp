// The ranges of the "Range" button: see date_range.h.
#include "date_range.h"

namespace player {

std::array<DateRange, 4> DateRanges(const QDate& today) {
    return {{
        {"Today", today, today},
        {"Yesterday", today.addDays(-1), today.addDays(-1)},
        {"Last 7 days", today.addDays(-6), today},
        {"This month", QDate(today.year(), today.month(), 1), today},
    }};
}

}  // namespace player
