// player: a WAV recording copied as it is, with the system's own reason
// when it cannot be.
//
// std::filesystem::copy_file reports a write refused part-way through (a
// disk that fills up while the file is copied) as "Input/output error": it
// falls back to a stream copy that keeps no error number. Here every read
// and write keeps its own, so a full disk says "No space left on device".
#pragma once

#include <string>
#include <system_error>

namespace player {

// Copies `from` into `to`, made (as the umask makes a new file: no source's
// mode is copied, so a private creation keeps it private) or emptied first;
// the error of the first call that failed, or none. A target that is the
// source itself (by name or by link) is refused with "File exists".
std::error_code CopyRecording(const std::string& from, const std::string& to);

}  // namespace player
