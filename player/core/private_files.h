// player: what the player writes about calls stays the user's own.
//
// The index holds phone numbers, the run logs and the audit trail who heard
// which call, decrypted copies and ConvertTemp.wav a call's audio. No other
// user of the machine may read them, whatever umask the player was started
// with, so files are created 0600 and folders 0700. State a player finds at
// its start with wider modes (made by an older version, copied with its
// modes) is narrowed once, with a run-log line saying what was narrowed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace player {

inline constexpr mode_t kPrivateFile = 0600;
inline constexpr mode_t kPrivateFolder = 0700;

// Makes `folder` (its parents as the umask has them) and gives it 0700; a
// folder that is there already is narrowed to 0700. Throws
// std::system_error.
void MakePrivateFolder(const std::filesystem::path& folder);

// Takes group and other bits from an existing file or folder of the user's
// own; true when it had any. A file that is missing or not the user's is
// left as it is.
bool NarrowToOwner(const std::filesystem::path& path);

// While one lives, what the process creates gets no group or other bits:
// for the files a library creates on the caller's thread (the converters'
// targets). The umask is the process's, so keep its life short.
class PrivateCreation {
public:
    PrivateCreation();
    ~PrivateCreation();
    PrivateCreation(const PrivateCreation&) = delete;
    PrivateCreation& operator=(const PrivateCreation&) = delete;

private:
    mode_t previous_;
};

// Narrows the state folder's Player.mdb, PlayerMisc.cfg, PlayerLog,
// PlayerAudit, decryptTmp, ConvertTemp.wav and what the folders hold;
// writes "Made private what other users could read: <names>" when it
// narrowed any. Returns the names narrowed.
std::vector<std::string> NarrowStateModes();

}  // namespace player
