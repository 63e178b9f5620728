// CallDeck: the program's whole run, from its arguments to its exit code.
//
// main() is only this call. It lives in the window's library so that a
// test program can run the same start, event loop and end as the real
// program, with one hook once the main window is shown (where a test plays
// a row before it signals the process).
#pragma once

#include <functional>

namespace player {

class frmMain;

int RunCallDeck(int argc, char** argv, const std::function<void(frmMain&)>& shown = {});

}  // namespace player
