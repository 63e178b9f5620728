// A CallDeck run whose main window plays its first row once shown and then
// says "playing" (or "not playing") on standard output: the program the
// signal tests end from outside, as a logout or `systemctl stop` would.
#include <cstdio>

#include "player/core/process_state.h"
#include "player/window/frm_main.h"
#include "player/window/run_calldeck.h"

int main(int argc, char** argv) {
    return player::RunCallDeck(argc, argv, [](player::frmMain& window) {
        window.PlayCurrent();
        std::puts(player::Process().IsPlaying ? "playing" : "not playing");
        std::fflush(stdout);
    });
}
