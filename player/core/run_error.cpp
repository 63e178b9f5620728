// Run-time errors of the player: see run_error.h.
#include "player/core/run_error.h"

#include <cerrno>

#include "platform/sqlstore/error.h"

namespace player {

RunError FileError(std::error_code ec) {
    int number = 75;  // Path/File access error
    if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
        switch (ec.value()) {
        case ENOENT:
        case ENOTDIR: number = 76; break;  // Path not found
        case EACCES:
        case EPERM:
        case EROFS: number = 70; break;  // Permission denied
        case EEXIST: number = 58; break;  // File already exists
        case ENOSPC: number = 61; break;  // Disk full
        default: break;
        }
    }
    return {number, ec.message()};
}

std::string Describe(const std::exception& e) {
    if (auto* fs = dynamic_cast<const std::system_error*>(&e)) return FileError(fs->code()).what();
    return e.what();
}

int NumberOf(const std::exception& e) {
    if (auto* run = dynamic_cast<const RunError*>(&e)) return run->Number();
    if (auto* store = dynamic_cast<const platform::sqlstore::Error*>(&e)) return store->Number();
    if (auto* fs = dynamic_cast<const std::system_error*>(&e)) return FileError(fs->code()).Number();
    return 440;  // automation error
}

}  // namespace player
