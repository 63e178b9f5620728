// One record of the audit trail: see audit_record.h.
#include "player/core/audit/audit_record.h"

#include <sodium.h>

#include <charconv>

namespace player {
namespace {

// libsodium picks its fastest BLAKE2b for this processor once initialised.
void InitialiseSodium() {
    [[maybe_unused]] static const int ready = sodium_init();
}

}  // namespace

std::string EscapeAuditField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string UnescapeAuditField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::string AuditRecordText(const AuditRecord& r) {
    std::string text = std::to_string(r.seq);
    for (const std::string* f : {&r.time, &r.user, &r.host, &r.program, &r.act, &r.row.path, &r.row.dateTime,
                                 &r.row.channel, &r.row.number, &r.row.duration, &r.row.direction, &r.target,
                                 &r.result}) {
        text += '\t';
        text += EscapeAuditField(*f);
    }
    text += '\t';
    return text;
}

AuditHash ChainHash(std::string_view text, const AuditHash& previous) {
    InitialiseSodium();
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sizeof(AuditHash));
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    crypto_generichash_update(&state, previous.data(), previous.size());
    AuditHash out;
    crypto_generichash_final(&state, out.data(), out.size());
    return out;
}

AuditHash HashOf(std::string_view bytes) {
    InitialiseSodium();
    AuditHash out;
    crypto_generichash(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                       nullptr, 0);
    return out;
}

std::string AuditLine(const AuditRecord& record, const AuditHash& previous, AuditHash& hash) {
    std::string line = AuditRecordText(record);
    hash = ChainHash(line, previous);
    line += Hex(hash);
    line += '\n';
    return line;
}

std::string Hex(const AuditHash& hash) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(hash.size() * 2, '0');
    for (std::size_t i = 0; i < hash.size(); ++i) {
        out[2 * i] = kDigits[hash[i] >> 4];
        out[2 * i + 1] = kDigits[hash[i] & 15];
    }
    return out;
}

std::optional<AuditHash> FromHex(std::string_view hex) {
    if (hex.size() != 64) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    AuditHash out;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = digit(hex[2 * i]), low = digit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return out;
}

std::optional<AuditLineFields> SplitAuditLine(std::string_view line) {
    AuditLineFields out;
    std::size_t from = 0;
    for (std::size_t f = 0; f < kAuditFields; ++f) {
        const std::size_t tab = f + 1 < kAuditFields ? line.find('\t', from) : line.size();
        if (tab == std::string_view::npos) return std::nullopt;
        out.field[f] = line.substr(from, tab - from);
        from = tab + 1;
    }
    const std::string_view seq = out.field[kSeq];
    const auto [end, error] = std::from_chars(seq.data(), seq.data() + seq.size(), out.seq);
    if (error != std::errc() || end != seq.data() + seq.size() || seq.empty()) return std::nullopt;
    const auto hash = FromHex(out.field[kAuditFields - 1]);
    if (!hash) return std::nullopt;
    out.hash = *hash;
    out.text = line.substr(0, line.size() - 64);
    return out;
}

AuditRecord RecordOf(const AuditLineFields& line) {
    const auto f = [&](std::size_t i) { return UnescapeAuditField(line.field[i]); };
    AuditRecord r;
    r.seq = line.seq;
    r.time = f(kTime), r.user = f(kUser), r.host = f(kHost), r.program = f(kProgram), r.act = f(kAct);
    r.row = {f(kPath), f(7), f(8), f(9), f(10), f(11)};
    r.target = f(kTarget), r.result = f(kResult);
    return r;
}

}  // namespace player
