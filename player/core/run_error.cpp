// Run-time errors of the player: see run_error.h.
#include "run_error.h"

#include <cerrno>

#include "platform/sqlstore/error.h"

namespace player {

RunError FileError(std::error_code ec) {
    if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
        switch (ec.value()) {
        case ENOENT:
        case ENOTDIR: return {76, "Path not found"};
        case EACCES:
        case EPERM:
        case EROFS: return {70, "Permission denied"};
        case EEXIST: return {58, "File already exists"};
        case ENOSPC: return {61, "Disk full"};
        default: break;
        }
    }
    return {75, "Path/File access error (" + ec.message() + ")"};
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
