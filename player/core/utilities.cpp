// The player's string and file utilities: see utilities.h.
#include "utilities.h"

#include <filesystem>

#include "process_state.h"
#include "run_log.h"
#include "run_error.h"
#include "cut_text.h"

namespace fs = std::filesystem;

namespace player {

std::string MyTrim(const std::string& text) {
    try {
        std::size_t end = text.size();
        while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
        std::string kept;
        kept.reserve(end);
        for (std::size_t i = 0; i < end; ++i)
            if (text[i] != '\0') kept += text[i];
        return text::Trim(kept);
    } catch (const std::exception& e) {
        WriteRunLog("!MyTrim " + Describe(e));
        return {};
    }
}

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
