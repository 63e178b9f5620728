// calldeck export: a WAV recording copied as it is, with the system's own
// reason when it cannot be.
//
// std::filesystem::copy_file reports a write refused part-way through (a
// disk that fills up while the file is copied) as "Input/output error": it
// falls back to a stream copy that keeps no error number. Here every read
// and write keeps its own, so a full disk says "No space left on device".
#pragma once

#include <string>
#include <system_error>

namespace calldeck {

// Copies `from` into `to`, made (mode 0600) or emptied first; the error of
// the first call that failed, or none.
std::error_code CopyRecording(const std::string& from, const std::string& to);

}  // namespace calldeck
