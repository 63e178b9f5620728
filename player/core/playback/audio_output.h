// player: the media player's commands reach the system's audio output.
//
// Until UseAudioOutput runs, every MediaPlayer command goes to the
// process state's MciSend, which answers "no audio output" (tests replace
// it with a sink of their own). The program installs the MCI layer
// (platform/mci) there at start. A machine without sound (a server, a
// session without an audio service) keeps the window and the play count
// working; so that an operator who hears nothing can find out why, the
// first open that finds no audio output writes one run-log line with the
// reason, "No audio output (<reason>); recordings play without sound.",
// once per run of the program.
#pragma once

namespace player {

void UseAudioOutput();

}  // namespace player
