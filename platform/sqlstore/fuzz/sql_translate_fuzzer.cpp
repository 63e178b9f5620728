// The record store's translation of the player's statements (#...#
// literals, dates, durations) on any text, for SQLite and for the shared
// store's server, and the date and duration readers on their own. A
// statement is either translated or refused with the store's Error; the
// server's bound dates and durations are canonical texts; any text typed
// as a number, quoted as a search quotes it, is one bound value and never
// part of the server's statement; a date or duration that is read writes
// a canonical text that reads back as the same value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlstore/error.h"
#include "platform/sqlstore/jet_date.h"
#include "platform/sqlstore/jet_sql.h"

namespace {

using namespace platform::sqlstore;

[[noreturn]] void Fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "fuzz: %s [%.*s]\n", what, int(text.size()), text.data());
    std::abort();
}

// A text as it stands between single quotes: each quote doubled.
std::string Doubled(std::string_view text) {
    std::string out;
    for (const char c : text) out.append(c == '\'' ? 2 : 1, c);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const ColumnKinds kinds{{"RECORDDATETIME", ColumnKind::DateTime}, {"RECORDDURATION", ColumnKind::Duration}};
    try {
        (void)Translate(text, kinds);
    } catch (const Error&) {
    }
    try {
        const ServerStatement bound = TranslateForServer(text, kinds);
        for (const std::string& value : bound.parameters) {
            const auto asDate = CanonicalDateTime(std::string_view(value));
            const auto asDuration = CanonicalDuration(std::string_view(value));
            const bool canonical = (asDate && *asDate == value) || (asDuration && *asDuration == value);
            if (!canonical && text.find("'" + Doubled(value) + "'") == std::string_view::npos)
                Fail("a value bound for the server is neither a canonical date or duration nor a quoted text", text);
        }
    } catch (const Error&) {
    }
    {
        const ServerStatement search = TranslateForServer(
            "select CallNumber from RecordFileInfo where CallNumber like '%" + Doubled(text) +
                "%' and CallDirection <> 'IN'",
            kinds);
        if (search.sql != "select CallNumber from RecordFileInfo where CallNumber like $1 and CallDirection <> $2" ||
            search.parameters != std::vector<std::string>{"%" + std::string(text) + "%", "IN"})
            Fail("a number's text became part of the server's statement", text);
    }
    (void)SingleTableSelect(text);
    (void)SingleTableSelect(text, "calldeck_key");

    if (const auto date = ParseJetDate(text)) {
        const std::string canonical = CanonicalDateTime(*date);
        const auto again = CanonicalDateTime(std::string_view(canonical));
        if (!again || *again != canonical) Fail("a date's canonical text does not read back", text);
    }
    if (const auto seconds = ParseDuration(text)) {
        if (*seconds < 0) Fail("a negative duration", text);
        const std::string canonical = CanonicalDuration(*seconds);
        if (ParseDuration(canonical) != seconds) Fail("a duration's canonical text does not read back", text);
    }
    return 0;
}
