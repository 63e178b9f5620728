// calldeck serve: a recording's audio as the WAV the player plays and
// calldeck export writes, converted by an export worker process
// (export_worker.h) so that a codec that crashes takes the worker, not the
// service, and G.729 conversions never share the process's one channel.
//
// The converted file is a private temporary (0600 in a 0700 folder of the
// work folder) removed as soon as its bytes are read: no converted copy
// outlives the request. The bytes are kept in memory for a minute for the
// seeks of the same listener (a browser asks for a recording in ranges),
// with its waveform, read from the temporary before it goes.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "player/core/playback/waveform.h"

namespace calldeck {
class WorkerProcess;
}

namespace calldeck::web {

struct Converted {
    std::string wav;
    player::Waveform waveform;
};

class AudioConverter {
public:
    AudioConverter();
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // The WAV form of the recording at `path`, shared with the other
    // requests that take it within its minute. Throws std::runtime_error
    // with the converter's reason when it cannot be converted. A recording
    // that must be decrypted first is recorded as decrypted by `who` from
    // `where` (the web user, their address and browser).
    std::shared_ptr<const Converted> Wav(const std::string& path, const std::string& who, const std::string& where);

private:
    Converted Convert(const std::string& path, const std::string& who, const std::string& where);

    struct Kept {
        std::string path;
        std::shared_ptr<const Converted> bytes;
        std::chrono::steady_clock::time_point at;
    };
    std::mutex mutex_;  // one conversion at a time
    std::unique_ptr<WorkerProcess> worker_;
    std::list<Kept> kept_;
};

}  // namespace calldeck::web
