// player/window: the ranges the "Range" button beside the date fields
// offers, as the days they span.
//
// Today, Yesterday, Last 7 days (today and the six days before it) and
// This month (its first day up to today: no call is recorded later). The
// window puts the first day at 00:00:00 and the last at 23:59:59 into the
// start and end fields, which then show the range; searching stays the
// "Show Result" button's.
#pragma once

#include <QDate>
#include <QString>

#include <array>

namespace player {

struct DateRange {
    QString caption;
    QDate first, last;
};

std::array<DateRange, 4> DateRanges(const QDate& today);

}  // namespace player
