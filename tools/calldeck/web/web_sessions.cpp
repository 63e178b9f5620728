// The sessions and the login waits (web_sessions.h).
#include "web_sessions.h"

#include <sodium.h>

#include <algorithm>
#include <array>

namespace calldeck::web {
namespace {

std::string HashOf(const std::string& token) {
    std::array<unsigned char, crypto_generichash_BYTES> hash{};
    crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const unsigned char*>(token.data()), token.size(),
                       nullptr, 0);
    return std::string(hash.begin(), hash.end());
}

constexpr int kFreeFailures = 3;
constexpr std::chrono::seconds kLongestWait{300};

}  // namespace

std::string Sessions::RandomToken() {
    if (sodium_init() < 0) std::abort();  // no random source: nothing may be handed out
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, bytes.data(), bytes.size());
    return hex;
}

bool Sessions::SameToken(const std::string& a, const std::string& b) {
    return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string Sessions::Open(const std::string& user, std::shared_ptr<SiteLogin> site) {
    std::string token = RandomToken();
    std::lock_guard lock(mutex_);
    Prune(Clock::now());
    sessions_[HashOf(token)] = Session{user, RandomToken(), Clock::now(), std::move(site)};
    return token;
}

std::optional<Session> Sessions::Find(const std::string& token) {
    if (token.size() != 64) return std::nullopt;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(HashOf(token));
    if (it == sessions_.end()) return std::nullopt;
    const auto now = Clock::now();
    if (now - it->second.lastUsed > idle_) {
        sessions_.erase(it);
        return std::nullopt;
    }
    it->second.lastUsed = now;
    return it->second;
}

void Sessions::Close(const std::string& token) {
    std::lock_guard lock(mutex_);
    sessions_.erase(HashOf(token));
}

void Sessions::Expire() {
    std::lock_guard lock(mutex_);
    Prune(Clock::now());
}

std::chrono::seconds Sessions::Wait(const Failures& f, Clock::time_point now) const {
    if (f.count < kFreeFailures) return std::chrono::seconds{0};
    const auto wait = std::min(kLongestWait, std::chrono::seconds{1} * (1 << std::min(f.count - kFreeFailures, 9)));
    const auto left = std::chrono::ceil<std::chrono::seconds>(f.last + wait - now);
    return std::max(left, std::chrono::seconds{0});
}

std::chrono::seconds Sessions::WaitBeforeLogin(const std::string& address, const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    std::chrono::seconds wait{0};
    if (const auto it = byAddress_.find(address); it != byAddress_.end()) wait = std::max(wait, Wait(it->second, now));
    if (const auto it = byName_.find(name); it != byName_.end()) wait = std::max(wait, Wait(it->second, now));
    return wait;
}

void Sessions::LoginFailed(const std::string& address, const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    Prune(now);
    for (Failures* f : {&byAddress_[address], &byName_[name]}) ++f->count, f->last = now;
}

void Sessions::LoginSucceeded(const std::string& address, const std::string& name) {
    std::lock_guard lock(mutex_);
    byAddress_.erase(address);
    byName_.erase(name);
}

// Sessions idle too long, and failures older than the longest wait, go.
void Sessions::Prune(Clock::time_point now) {
    std::erase_if(sessions_, [&](const auto& s) { return now - s.second.lastUsed > idle_; });
    const auto stale = [&](const auto& f) { return now - f.second.last > kLongestWait * 2; };
    std::erase_if(byAddress_, stale);
    std::erase_if(byName_, stale);
}

}  // namespace calldeck::web
