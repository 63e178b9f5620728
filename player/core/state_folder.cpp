// Where the player keeps what it writes: see state_folder.h.
#include "player/core/state_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "player/core/process_state.h"
#include "player/core/run_error.h"

namespace fs = std::filesystem;

namespace player {
namespace {

std::string UserDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return xdg;
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return home + "/.local/share";
}

}  // namespace

bool UsesUserStateFolder() {
    const std::string program = ProgramFolder();
    std::error_code ec;
    return fs::exists(fs::path(program) / kInstalledMarker, ec) ||
           (::access(program.c_str(), W_OK) != 0 && !fs::exists(fs::path(program) / "Player.mdb", ec));
}

std::string WorkFolder() {
    const std::string state = StateFolder();
    if (::access(state.c_str(), W_OK) == 0) return state;
    return UserDataHome() + "/" + kStateFolderName;
}

std::string StateFolder() {
    if (!UsesUserStateFolder()) return ProgramFolder();
    return UserDataHome() + "/" + kStateFolderName;
}

void MakeStateFolder() {
    if (const std::string work = WorkFolder(); work != StateFolder()) {
        std::error_code ec;
        fs::create_directories(work, ec);
        if (!ec) fs::permissions(work, fs::perms::owner_all, ec);  // decrypted calls go into it
        if (ec) throw FileError(ec);
    }
    if (!UsesUserStateFolder()) return;
    const fs::path folder = StateFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw FileError(ec);
    const fs::path index = folder / "Player.mdb", templ = fs::path(ProgramFolder()) / "Player.mdb";
    if (fs::exists(index, ec) || !fs::is_regular_file(templ, ec)) return;
    const fs::path part = folder / ("Player.mdb.new-" + std::to_string(::getpid()));
    fs::copy_file(templ, part, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, ec);
    if (!ec) fs::rename(part, index, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(part, ignored);
        throw FileError(ec);
    }
}

}  // namespace player
