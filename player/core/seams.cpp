// Default seams: dialogs on the terminal.
#include "player/core/seams.h"

#include <cstdio>

namespace player {

bool ConsoleDialogs::Question(std::string_view text, bool) {
    std::fprintf(stderr, "%s: %.*s -- answered No (no window)\n", kProgramTitle, static_cast<int>(text.size()),
                 text.data());
    return false;
}

void ConsoleDialogs::Information(std::string_view text) {
    std::fprintf(stderr, "%s: %.*s\n", kProgramTitle, static_cast<int>(text.size()), text.data());
}

std::string ConsoleDialogs::PickFolder(WindowHandle, std::string_view) { return {}; }
std::string ConsoleDialogs::PickFile(WindowHandle, std::string_view, std::string_view, std::string_view,
                                     std::string_view) {
    return {};
}

}  // namespace player
