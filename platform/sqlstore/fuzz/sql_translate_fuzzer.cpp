// The record store's translation of the player's statements (#...#
// literals, dates, durations) on any text, for SQLite and for the shared
// store's server, and the date and duration readers on their own. A
// statement is either translated or refused with the store's Error; the
// server's bound values are canonical texts; a date or duration that is
// read writes a canonical text that reads back as the same value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/sqlstore/error.h"
#include "platform/sqlstore/jet_date.h"
#include "platform/sqlstore/jet_sql.h"

namespace {

using namespace platform::sqlstore;

[[noreturn]] void Fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "fuzz: %s [%.*s]\n", what, int(text.size()), text.data());
    std::abort();
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
            if (!canonical) Fail("a value bound for the server is no canonical date or duration", text);
        }
    } catch (const Error&) {
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
