// The player's string and file utilities: see utilities.h.
#include "player/core/file_utilities.h"

#include <filesystem>

#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/run_error.h"
#include "player/core/text.h"

namespace fs = std::filesystem;

namespace player {

bool MyMkDir(const std::string& path) {
    const std::string trimmed = text::Trim(path);
    if (trimmed.empty()) return false;
    try {
        std::error_code ec;
        if (!fs::is_directory(trimmed, ec)) {
            fs::create_directory(trimmed, ec);
            if (ec) throw FileError(ec);
        }
        return true;
    } catch (const std::exception& e) {
        WriteRunLog("!MyMkDir " + std::to_string(NumberOf(e)) + Describe(e) + " " + path);
        return false;
    }
}

bool MyDelFIle(const std::string& path) {
    try {
        const std::string trimmed = text::Trim(path);
        std::error_code ec;
        auto status = fs::symlink_status(trimmed, ec);
        if (trimmed.empty() || !fs::exists(status) || fs::is_directory(status)) throw RunError::FileNotFound();
        if (!fs::remove(trimmed, ec) || ec) throw FileError(ec ? ec : std::make_error_code(std::errc::io_error));
        return true;
    } catch (const std::exception& e) {
        WriteRunLog("!MyDelFIle " + Describe(e) + " file = " + path);
        return false;
    }
}

std::string BrowseForFolder(WindowHandle ownerWindow, const std::string& title) {
    return Process().dialogs->PickFolder(ownerWindow, title);
}

}  // namespace player
