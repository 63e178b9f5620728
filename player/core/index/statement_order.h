// player: a search statement asked again in another row order.
//
// A click on a heading of the result grid sorts the result by asking the
// database again, so the result set's own order (the play list's) is the
// order on the screen. OrderedBy takes the statement the set came from and
// puts the column's order clause in place of its own (or after it, when it
// has none). An "order by" inside a quoted text or a bracketed name (a
// number typed as "order by") is part of the text, not a clause.
//
// RecordDuration texts are "hh:mm:ss" with two or more hour digits, so
// they sort as (length, text): 100:00:00 comes after 99:59:59. Date-times
// are "YYYY-MM-DD hh:mm:ss" and sort as plain text.
#pragma once

#include <string>
#include <string_view>

namespace player {

std::string OrderedBy(std::string_view statement, std::string_view column, bool descending);

}  // namespace player
