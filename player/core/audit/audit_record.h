// player: one record of the audit trail, as a line of tab-separated fields
// and a link of the chain: seq, UTC time, who, where, the act, the row as
// shown, target, result, and the BLAKE2b hash over the line and the
// previous record's hash, so an edit or a line taken out breaks the next
// link. The fields and the hash: docs/audit.md ("Where, and the format").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace player {

using AuditHash = std::array<unsigned char, 32>;
inline constexpr AuditHash kAuditChainStart{};

// Acts a record names. A daily file opens with a "continue" record (its
// FileFullName the file it continues, "" for the first, its result the hash
// it continues from); "cut-record" follows a line a crash cut short (its
// target the cut line's length, its result the cut line's hash).
inline constexpr const char* kActContinue = "continue";
inline constexpr const char* kActCutRecord = "cut-record";

// The recording a record is about: its path and its row's fields ("" when
// not known).
struct AuditRow {
    std::string path, dateTime, channel, number, duration, direction;
};

struct AuditRecord {
    std::uint64_t seq = 0;
    std::string time, user, host, program, act;
    AuditRow row;
    std::string target, result;
};

// The line's text up to and including the tab before the hash.
std::string AuditRecordText(const AuditRecord& record);
// The whole line: text, hash in hex, line feed.
std::string AuditLine(const AuditRecord& record, const AuditHash& previous, AuditHash& hash);

AuditHash ChainHash(std::string_view text, const AuditHash& previous);
AuditHash HashOf(std::string_view bytes);
std::string Hex(const AuditHash& hash);
std::optional<AuditHash> FromHex(std::string_view hex);

// A field as written, and back: a backslash, tab, line feed and carriage
// return become \\, \t, \n and \r (calldeck search writes its values so too).
std::string EscapeAuditField(std::string_view field);
std::string UnescapeAuditField(std::string_view field);

// A line (without its line feed) split into its fields as written, its
// text and its hash; nothing when it is not a record of the trail. Checking
// the chain needs no more than this, so it allocates nothing.
inline constexpr std::size_t kAuditFields = 15;
enum AuditField : std::size_t { kSeq, kTime, kUser, kHost, kProgram, kAct, kPath, kTarget = 12, kResult = 13 };
struct AuditLineFields {
    std::array<std::string_view, kAuditFields> field;
    std::string_view text;
    std::uint64_t seq = 0;
    AuditHash hash{};
};
std::optional<AuditLineFields> SplitAuditLine(std::string_view line);
// The record, every field unescaped.
AuditRecord RecordOf(const AuditLineFields& line);

}  // namespace player
