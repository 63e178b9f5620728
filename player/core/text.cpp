// The text helpers: see text.h.
#include "player/core/text.h"

#include "player/core/run_error.h"

namespace player::text {

std::string Mid(std::string_view s, long start, long length) {
    if (start < 1 || length < -1) throw RunError::InvalidCall();
    if (static_cast<std::size_t>(start) > s.size()) return {};
    std::string_view rest = s.substr(static_cast<std::size_t>(start - 1));
    return std::string(length < 0 ? rest : rest.substr(0, static_cast<std::size_t>(length)));
}

std::string Left(std::string_view s, long length) {
    if (length < 0) throw RunError::InvalidCall();
    return std::string(s.substr(0, static_cast<std::size_t>(length)));
}

std::string Right(std::string_view s, long length) {
    if (length < 0) throw RunError::InvalidCall();
    std::size_t n = std::min(s.size(), static_cast<std::size_t>(length));
    return std::string(s.substr(s.size() - n));
}

long InStr(std::string_view s, std::string_view what) {
    std::size_t at = s.find(what);
    return at == std::string_view::npos ? 0 : static_cast<long>(at) + 1;
}

std::vector<std::string> Split(std::string_view s, char separator) {
    std::vector<std::string> out;
    while (true) {
        std::size_t at = s.find(separator);
        out.emplace_back(s.substr(0, at));
        if (at == std::string_view::npos) return out;
        s.remove_prefix(at + 1);
    }
}

std::string UCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

bool AllDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::int16_t CInt(std::string_view digits) {
    if (digits.empty() || !AllDigits(digits)) throw RunError::TypeMismatch();
    long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 32767) throw RunError::Overflow();
    }
    return static_cast<std::int16_t>(value);
}

std::string ZeroPad(long value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

}  // namespace player::text
