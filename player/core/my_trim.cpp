// MyTrim, declared in text.h with the other text helpers. It lives in a file
// of its own because its trap writes the run log, which the file-name
// parsers' fuzz build (text.cpp without the player) does not link.
#include <exception>

#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/text.h"

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

}  // namespace player
