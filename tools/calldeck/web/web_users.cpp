// The web users' file (web_users.h): read whole, changed in memory and
// written back whole, so a line is never half there.
#include "web_users.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "player/core/private_files.h"
#include "player/core/state_folder.h"

namespace fs = std::filesystem;

namespace calldeck::web {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;  // name, hash

Entries Read(const fs::path& file) {
    Entries entries;
    std::ifstream in(file);
    if (!in) {
        std::error_code ec;
        if (!fs::exists(file, ec) && !ec) return entries;
        throw std::runtime_error("cannot read " + file.string());
    }
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) continue;
        entries.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return entries;
}

void Write(const fs::path& file, const Entries& entries) {
    player::MakePrivateFolder(file.parent_path());
    const fs::path temporary = file.string() + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, player::kPrivateFile);
    if (fd < 0) throw std::runtime_error("cannot write " + temporary.string());
    ::fchmod(fd, player::kPrivateFile);  // whatever the umask made of it
    std::string text;
    for (const auto& [name, hash] : entries) text += name + "\t" + hash + "\n";
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + file.string());
    }
}

void RequireSodium() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

}  // namespace

fs::path WebUsersFile() { return fs::path(player::StateFolder()) / "PlayerWebUsers"; }

void CheckWebUserName(const std::string& name) {
    if (name.empty() || name.size() > 64) throw std::invalid_argument("a web user's name has 1 to 64 characters");
    for (const char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-' || c == '@'))
            throw std::invalid_argument("a web user's name holds only letters, digits, '.', '_', '-' and '@'");
}

std::vector<std::string> ListWebUsers(const fs::path& file) {
    std::vector<std::string> names;
    for (const auto& entry : Read(file)) names.push_back(entry.first);
    return names;
}

void SetWebUser(const std::string& name, const std::string& password, const fs::path& file) {
    CheckWebUserName(name);
    if (password.size() < 8) throw std::invalid_argument("a web user's password has at least 8 characters");
    RequireSodium();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("not enough memory to hash the password");
    Entries entries = Read(file);
    bool known = false;
    for (auto& entry : entries)
        if (entry.first == name) entry.second = hash, known = true;
    if (!known) entries.emplace_back(name, hash);
    Write(file, entries);
}

bool RemoveWebUser(const std::string& name, const fs::path& file) {
    Entries entries = Read(file);
    const auto before = entries.size();
    std::erase_if(entries, [&](const auto& entry) { return entry.first == name; });
    if (entries.size() == before) return false;
    Write(file, entries);
    return true;
}

bool CheckWebUser(const std::string& name, const std::string& password, const fs::path& file) {
    RequireSodium();
    static const std::string decoy = [] {  // checked for an unknown name, so it takes as long
        char hash[crypto_pwhash_STRBYTES];
        const char random[] = "no such user";
        if (crypto_pwhash_str_alg(hash, random, sizeof random - 1, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                  crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
            throw std::runtime_error("not enough memory to check a password");
        return std::string(hash);
    }();
    std::string hash = decoy;
    bool known = false;
    for (const auto& entry : Read(file))
        if (entry.first == name) hash = entry.second, known = true;
    // One check at a time: each takes 64 MiB while it runs, so logins at
    // once would add that to the service's memory per login, and a burst of
    // them from anyone who can reach the page could exhaust it.
    static std::mutex oneAtATime;
    std::lock_guard lock(oneAtATime);
    const bool matches = crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    return known && matches;
}

}  // namespace calldeck::web
