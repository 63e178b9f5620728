// player: where the player keeps what it writes (the index, the setting,
// the run logs, decrypted copies, ConvertTemp.wav): beside the program when
// the user can write its folder (the build folder, a copy on a stick), else
// in a folder of each user's, $XDG_DATA_HOME/CallDeck, since /usr is neither
// writable by the user nor a place for one user's calls. The one place that
// decides; the rules are docs/install.md's ("Where the player writes").
#pragma once

#include <string>

namespace player {

inline constexpr const char* kInstalledMarker = "CallDeck.installed";
inline constexpr const char* kStateFolderName = "CallDeck";

// The folder without a trailing slash.
std::string StateFolder();
// True when StateFolder is the user's folder, not the program folder: the
// program folder holds kInstalledMarker, or the user cannot write it and it
// holds no index. A copy that holds its index but cannot be written keeps
// that index as the one searched, read-only, rather than making a second
// one that would hide it.
bool UsesUserStateFolder();
// Where the run logs, decrypted copies and ConvertTemp.wav go: StateFolder,
// or the user's folder when StateFolder cannot be written. No trailing slash.
std::string WorkFolder();
// Makes the user's folder with its first index when they are missing, and
// WorkFolder (private to the user) when it is not StateFolder. The index is
// copied from the program folder's Player.mdb (the installed template)
// under a temporary name and then renamed, so that a start cut short never
// leaves half an index. Called once at start, by InitPath. Throws
// FileError; does nothing for a program folder that is written.
void MakeStateFolder();

}  // namespace player
