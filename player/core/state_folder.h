// player: where the player keeps what it writes.
//
// The player writes its record index (Player.mdb and the rebuild's lock
// beside it), its setting (PlayerMisc.cfg), the run logs (PlayerLog),
// decrypted copies (decryptTmp) and the recording being played
// (ConvertTemp.wav). A program folder the user can write (the build folder,
// a copy on a USB stick) keeps all of them beside the program, as it always
// did. An installed copy keeps them in a folder of each user instead,
// $XDG_DATA_HOME/CallDeck (~/.local/share/CallDeck when the variable is not
// set), because /usr is neither writable by the user nor a place for one
// user's calls.
//
// A program folder counts as installed when it holds the marker file
// kInstalledMarker, which the installation puts there (so root, who can
// write anywhere, still leaves /usr alone), or when the user cannot write
// it and it holds no index. A copy that holds its index but cannot be
// written (a stick made read-only, a folder of another user's) keeps that
// index as the one searched, read-only (record_database.h), rather than
// making a second one that would hide it; what playing writes
// (ConvertTemp.wav, decryptTmp) and the run logs then go to WorkFolder,
// the user's folder.
//
// StateFolder only decides; MakeStateFolder (called once at start by
// InitPath) makes the user's folder and gives it its first, empty index,
// copied from the program folder's Player.mdb (the installed template)
// under a temporary name and then renamed, so that a start cut short never
// leaves half an index. Every path of the player is built on StateFolder;
// read-only files the installation provides (the libraries, SiteKey.bin,
// PlayerSite.conf) stay in the program folder.
#pragma once

#include <string>

namespace player {

inline constexpr const char* kInstalledMarker = "CallDeck.installed";
inline constexpr const char* kStateFolderName = "CallDeck";

// The folder without a trailing slash.
std::string StateFolder();
// True when StateFolder is the user's folder, not the program folder.
bool UsesUserStateFolder();
// Where the run logs, decrypted copies and ConvertTemp.wav go: StateFolder,
// or the user's folder when StateFolder cannot be written. No trailing slash.
std::string WorkFolder();
// Makes the user's folder with its first index when they are missing, and
// WorkFolder (private to the user) when it is not StateFolder. Throws
// FileError; does nothing for a program folder that is written.
void MakeStateFolder();

}  // namespace player
