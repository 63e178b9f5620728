// player/window: the program's dialogs, on Qt Widgets.
//
// The one production implementation of the dialog seam (player/core/
// seams.h): message boxes with the program's title ("CallDeck"), Yes/No
// with the question icon or none, OK; the folder picker (folders of the
// file system only, "" when cancelled); a file dialog that accepts a name
// that does not exist yet. Qt's own dialogs are used rather than the
// desktop's, so they look and behave the same everywhere and tests can
// find and answer them. The owner window handle is a QWidget*.
#pragma once

#include "player/core/seams.h"

namespace player {

class QtDialogs : public Dialogs {
public:
    bool Question(std::string_view text, bool questionIcon = true) override;
    void Information(std::string_view text) override;
    std::string PickFolder(WindowHandle owner, std::string_view title) override;
    std::string PickFile(WindowHandle owner, std::string_view title, std::string_view initial, std::string_view filter,
                         std::string_view defaultExtension) override;
};

}  // namespace player
