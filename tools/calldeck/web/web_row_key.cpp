// The rows' keys (web_row_key.h).
#include "web_row_key.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>

namespace calldeck::web {
namespace {

constexpr std::size_t kHashDigits = 16;
constexpr std::size_t kLongestChannel = 32;

bool Digits(const std::string& text, std::size_t from, std::size_t count) {
    return from + count <= text.size() && std::all_of(text.begin() + from, text.begin() + from + count,
                                                      [](unsigned char c) { return std::isdigit(c); });
}

bool ChannelText(const std::string& channel) {
    return !channel.empty() && channel.size() <= kLongestChannel &&
           std::all_of(channel.begin(), channel.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

}  // namespace

std::string PathHash(const std::string& path) {
    [[maybe_unused]] static const int ready = sodium_init();  // picks the fastest implementation, once
    std::array<unsigned char, crypto_generichash_BYTES> hash{};
    crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const unsigned char*>(path.data()), path.size(),
                       nullptr, 0);
    std::array<char, kHashDigits + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), hash.data(), kHashDigits / 2);
    return hex.data();
}

std::string KeyOf(const player::AuditRow& row) {
    // "2024-05-01 12:00:10" -> "20240501T120010"
    const std::string& t = row.dateTime;
    if (t.size() != 19 || !Digits(t, 0, 4) || t[4] != '-' || !Digits(t, 5, 2) || t[7] != '-' || !Digits(t, 8, 2) ||
        t[10] != ' ' || !Digits(t, 11, 2) || t[13] != ':' || !Digits(t, 14, 2) || t[16] != ':' || !Digits(t, 17, 2) ||
        !ChannelText(row.channel))
        return {};
    return t.substr(0, 4) + t.substr(5, 2) + t.substr(8, 2) + "T" + t.substr(11, 2) + t.substr(14, 2) +
           t.substr(17, 2) + "-" + row.channel + "-" + PathHash(row.path);
}

std::optional<RowKey> ReadKey(const std::string& key) {
    // 8 digits, T, 6 digits, '-', the channel, '-', 16 hex digits.
    constexpr std::size_t kTime = 15;
    if (key.size() < kTime + 1 + 1 + 1 + kHashDigits || !Digits(key, 0, 8) || key[8] != 'T' || !Digits(key, 9, 6) ||
        key[kTime] != '-')
        return std::nullopt;
    const std::size_t hashAt = key.size() - kHashDigits;
    if (key[hashAt - 1] != '-') return std::nullopt;
    RowKey out;
    out.channel = key.substr(kTime + 1, hashAt - 1 - (kTime + 1));
    out.pathHash = key.substr(hashAt);
    if (!ChannelText(out.channel) || !std::all_of(out.pathHash.begin(), out.pathHash.end(),
                                                  [](unsigned char c) { return std::isxdigit(c) && !std::isupper(c); }))
        return std::nullopt;
    // A time that is none (February 30th, 25:00) names no row, and is not
    // handed to a server that would fail on it.
    const auto number = [&](std::size_t at, std::size_t count) { return std::stoi(key.substr(at, count)); };
    const std::chrono::year_month_day day{std::chrono::year{number(0, 4)},
                                          std::chrono::month(static_cast<unsigned>(number(4, 2))),
                                          std::chrono::day(static_cast<unsigned>(number(6, 2)))};
    if (!day.ok() || number(9, 2) > 23 || number(11, 2) > 59 || number(13, 2) > 59) return std::nullopt;
    out.dateTime = key.substr(0, 4) + "-" + key.substr(4, 2) + "-" + key.substr(6, 2) + " " + key.substr(9, 2) + ":" +
                   key.substr(11, 2) + ":" + key.substr(13, 2);
    return out;
}

}  // namespace calldeck::web
