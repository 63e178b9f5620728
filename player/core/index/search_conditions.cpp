// Search statements from the condition controls: see search_conditions.h.
#include "player/core/index/search_conditions.h"

#include <algorithm>

#include "player/core/file_utilities.h"
#include "player/core/process_state.h"
#include "player/core/text.h"

namespace player {
namespace {

// The text as it must stand between single quotes in a statement.
std::string QuotesDoubled(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'') out += c;
    }
    return out;
}

// The words of a note search as an FTS5 query: each word a phrase of its
// own (its double quotes doubled), so no word is read as an operator, and
// all of them wanted.
std::string FullTextWords(const std::string& words) {
    std::string query;
    for (std::size_t at = 0; at < words.size();) {
        const std::size_t start = words.find_first_not_of(" \t\r\n", at);
        if (start == std::string::npos) break;
        const std::size_t end = std::min(words.find_first_of(" \t\r\n", start), words.size());
        query += query.empty() ? "\"" : " \"";
        for (char c : words.substr(start, end - start)) query += c == '"' ? std::string(2, c) : std::string(1, c);
        query += "\"";
        at = end;
    }
    return query;
}

// The clauses of the notes' conditions: each a set of stored paths, found
// through the notes' own indexes (the tag's key, the note's full-text
// index) and joined to the rows by their path's index.
std::string NotesClauses(const SearchConditions& c) {
    std::string s;
    if (const std::string tag = text::Trim(c.tag); !tag.empty())
        s += " and FileFullName in (select FileFullName from RecordTags where Tag = '" + QuotesDoubled(tag) + "')";
    if (const std::string words = FullTextWords(c.noteWords); !words.empty()) {
        if (Process().SiteServer.empty())
            s += " and FileFullName in (select FileFullName from RecordNotes where NoteId in "
                 "(select rowid from RecordNoteWords where RecordNoteWords match '" + QuotesDoubled(words) + "'))";
        else if (Process().Rights.scopedNotes)
            s += " and FileFullName in (select calldeck_note_paths('" + QuotesDoubled(text::Trim(c.noteWords)) + "'))";
        else
            s += " and FileFullName in (select FileFullName from RecordNotes where NoteWords @@ "
                 "plainto_tsquery('simple', '" + QuotesDoubled(text::Trim(c.noteWords)) + "'))";
    }
    if (c.heldOnly) s += " and FileFullName in (select FileFullName from RecordHolds)";
    return s;
}

}  // namespace

std::vector<std::string> ChannelListEntries() {
    std::vector<std::string> out{"all"};
    for (int n = 1; n <= 128; ++n) out.push_back(text::ZeroPad(n, 3));
    return out;
}

std::vector<std::string> CompareListEntries() { return {"", ">=", "<="}; }

SearchConditions InitMainFormConditions(const LocalTime& today, const std::string& storedMainFolder) {
    SearchConditions c;
    c.start = {2006, 1, 1, 0, 0, 0};
    c.end = {today.year, today.month, today.day, 23, 59, 59};
    c.channelIndex = 0;
    c.callIn = c.callOut = true;
    c.number.clear();
    c.compareIndex = -1;
    c.duration = {};
    c.mainFolder = MyTrim(storedMainFolder);
    return c;
}

std::string MakeCondition(const SearchConditions& c) {
    std::string s =
        "select RecordChannel,RecordDateTime,CallNumber,RecordDuration,FileFullName,CallDirection from RecordFileInfo "
        "where 1=1";
    const std::string start = FormatDate(c.start) + " " + FormatClock(c.start);
    const std::string end = FormatDate(c.end) + " " + FormatClock(c.end);
    s += " and RecordDateTime >= #" + start + "# and RecordDateTime <= #" + end + "#";
    const char* op = c.compareIndex == 1 ? ">=" : c.compareIndex == 2 ? "<=" : "";
    if (*op) s += std::string(" and RecordDuration ") + op + "#" + FormatClock(c.duration) + "#";
    if (c.channelIndex > 0) s += " and RecordChannel = '" + text::ZeroPad(c.channelIndex, 4) + "'";
    if (const std::string number = text::Trim(c.number); !number.empty())
        s += " and CallNumber like '%" + QuotesDoubled(number) + "%'";
    if (!c.callIn) s += " and CallDirection <> 'IN'";
    if (!c.callOut) s += " and CallDirection <> 'OUT'";
    return s + NotesClauses(c);
}

}  // namespace player
