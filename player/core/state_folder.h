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
// A program folder counts as installed when the user cannot write it, or
// when it holds the marker file kInstalledMarker, which the installation
// puts there: so root, who can write anywhere, still leaves /usr alone.
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
// Makes the user's folder with its first index when they are missing.
// Throws FileError; does nothing for a program folder that is written.
void MakeStateFolder();

}  // namespace player
